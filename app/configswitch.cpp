// SPDX-License-Identifier: MIT
#include "app/configswitch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "serial/traffic/recorder.h"

namespace configui {

namespace {

// Each window deletes itself when closed, which clears its pointer; the next switch
// then builds it again and so runs its opening steps again.
QPointer<frmConfig1602> window1602;
QPointer<frmConfig2004> window2004;

template <typename Window>
void showOnce(QPointer<Window>& window, framewords::Line line) {
    if (window.isNull()) {
        window = new Window();
        traffic::recorder().watch(window->MSComm1, line);
        // A window still open, or closed but not yet deleted, when the program ends.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                         [w = window.data()] { delete w; });
    }
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void openWindow(int modulePosition) {
    if (modulePosition == 0) {
        showOnce(window1602, framewords::Line::Upload1602);
    } else {
        showOnce(window2004, framewords::Line::Upload2004);
    }
}

}  // namespace configui
