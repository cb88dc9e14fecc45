// The "Tools" menu: helpers beside the test bench, each in a window of its own.

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/frmFind.h"
#include "app/frmMain.h"

void frmMain::addToolsMenu() {
    mnuTools = menuBar()->addMenu(QStringLiteral("Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuFind = mnuTools->addAction(QStringLiteral("Find Module…"));
    mnuFind->setObjectName(QStringLiteral("mnuFind"));
    connect(mnuFind, &QAction::triggered, this, &frmMain::mnuFind_Click);
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
