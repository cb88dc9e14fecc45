// The "Tools" menu: helpers beside the test bench, each in a window of its own; and the
// window's keyboard use.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

#include "app/busmonitor/monitorwindow.h"
#include "app/frmFind.h"
#include "app/frmMain.h"
#include "widgets/keyboard.h"

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

void frmMain::addKeyboard() {
    ui::readingTabOrder(this);
    for (QPushButton* send : {cmdSend04, cmdSend05, cmdSend06, cmdSend16}) {
        ui::clickOnEnter(send);
    }
    // Alt and a caption's first letter open its menu; the captions themselves stay as they
    // always were, without marks.
    const auto mnemonic = [this](Qt::Key key, auto open) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | key), this);
        connect(shortcut, &QShortcut::activated, this, open);
    };
    mnemonic(Qt::Key_C, [this] {
        if (mnuCfg->isEnabled()) {
            mnuCfg->trigger();
        }
    });
    auto* mnuView = menuBar()->findChild<QMenu*>(QStringLiteral("mnuView"));
    mnemonic(Qt::Key_V, [this, mnuView] { menuBar()->setActiveAction(mnuView->menuAction()); });
    mnemonic(Qt::Key_T, [this] { menuBar()->setActiveAction(mnuTools->menuAction()); });
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
