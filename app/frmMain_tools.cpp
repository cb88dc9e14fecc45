// The "Tools" menu: helpers beside the test bench, each in a window of its own.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/busmonitor/monitorwindow.h"
#include "app/frmFind.h"
#include "app/frmMain.h"

void frmMain::addToolsMenu() {
    mnuTools = menuBar()->addMenu(QStringLiteral("Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuFind = mnuTools->addAction(QStringLiteral("Find Module…"));
    mnuFind->setObjectName(QStringLiteral("mnuFind"));
    connect(mnuFind, &QAction::triggered, this, &frmMain::mnuFind_Click);
    mnuMonitor = mnuTools->addAction(QStringLiteral("Monitor Bus…"));
    mnuMonitor->setObjectName(QStringLiteral("mnuMonitor"));
    connect(mnuMonitor, &QAction::triggered, this, &frmMain::mnuMonitor_Click);
}

void frmMain::mnuFind_Click() {
    // One finder at a time, owned by this window (it reads and fills this window's
    // settings); it deletes itself when closed.
    auto* window = findChild<frmFind*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr) {
        window = new frmFind(this, this);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void frmMain::mnuMonitor_Click() {
    // One monitor at a time, owned by this window, whose port it must not take; it deletes
    // itself when closed.
    auto* window = findChild<monitor::MonitorWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr) {
        window = new monitor::MonitorWindow(this, this);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
