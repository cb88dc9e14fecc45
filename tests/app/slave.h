// SPDX-License-Identifier: MIT
#pragma once

// The test's end of the Modbus line: a pseudo-terminal whose slave side the main window
// opens as port 3, with the test answering each request as the display module would.

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <deque>
#include <memory>

#include "app/frmMain.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"
#include "tests/support/widgettest.h"

namespace testsupport {

class ScriptedSlave : public QObject {
    Q_OBJECT
  public:
    explicit ScriptedSlave(PtyPair& line);

    // The next request is answered with reply, delayMs after it arrived; an empty reply
    // means silence.
    void answer(const QByteArray& reply, int delayMs = 5);
    // Everything the window has sent so far, taken by the call.
    QByteArray takeReceived();

  private:
    void readLine();

    PtyPair& line_;
    QSocketNotifier notifier_;
    QByteArray received_;
    struct Reply {
        QByteArray bytes;
        int delayMs;
    };
    std::deque<Reply> replies_;
};

// A modlcd.ini in a fresh folder that maps port 3 to the pseudo-terminal and preselects
// 9600,n,8,1 on it, slave 1 and the given module ("1602" or "2004").
void prepareIni(const IniFolder& ini, const PtyPair& line, const QByteArray& module);

// The window opened over that ini and connected; fails the test when it cannot connect.
std::unique_ptr<frmMain> connectedWindow();

}  // namespace testsupport
