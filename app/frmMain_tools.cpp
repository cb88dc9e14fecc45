// SPDX-License-Identifier: MIT
// The "Tools" menu: helpers beside the test bench, each in a window of its own; and the
// window's keyboard use.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>

#include "app/busmonitor/monitorwindow.h"
#include "app/finder/findwindow.h"
#include "app/frmMain.h"
#include "widgets/keyboard.h"

void frmMain::addToolsMenu() {
    toolsMenu = menuBar()->addMenu(QStringLiteral("Tools"));
    toolsMenu->setObjectName(QStringLiteral("mnuTools"));
    findAction = toolsMenu->addAction(QStringLiteral("Find Module…"));
    findAction->setObjectName(QStringLiteral("mnuFind"));
    connect(findAction, &QAction::triggered, this, &frmMain::openFindWindow);
    monitorAction = toolsMenu->addAction(QStringLiteral("Monitor Bus…"));
    monitorAction->setObjectName(QStringLiteral("mnuMonitor"));
    connect(monitorAction, &QAction::triggered, this, &frmMain::openMonitorWindow);
}

void frmMain::openFindWindow() {
    // One finder at a time, owned by this window (it reads and fills this window's
    // settings); it deletes itself when closed.
    auto* window = findChild<finder::FindWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr) {
        window = new finder::FindWindow(this, this);
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
    mnemonic(Qt::Key_T, [this] { menuBar()->setActiveAction(toolsMenu->menuAction()); });
}

void frmMain::openMonitorWindow() {
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
