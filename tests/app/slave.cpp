// SPDX-License-Identifier: MIT
#include "tests/app/slave.h"

#include <QDebug>
#include <QPushButton>
#include <QTimer>

#include <unistd.h>

#include "widgets/messagebox.h"

namespace testsupport {

ScriptedSlave::ScriptedSlave(PtyPair& line)
    : line_(line), notifier_(line.masterFd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &ScriptedSlave::readLine);
}

void ScriptedSlave::answer(const QByteArray& reply, int delayMs) {
    replies_.push_back({reply, delayMs});
}

QByteArray ScriptedSlave::takeReceived() {
    readLine();
    return std::exchange(received_, {});
}

void ScriptedSlave::readLine() {
    char buf[256];
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(line_.masterFd(), buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        received_.append(buf, n);
        any = true;
    }
    // A request arrives in one write; its first bytes start the answer.
    if (any && !replies_.empty()) {
        const Reply r = replies_.front();
        replies_.pop_front();
        if (!r.bytes.isEmpty()) {
            QTimer::singleShot(r.delayMs, this, [this, bytes = r.bytes] { line_.write(bytes); });
        }
    }
}

void prepareIni(const IniFolder& ini, const PtyPair& line, const QByteArray& module) {
    ini.write("[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=" +
              module + "\r\n[Ports]\r\n3=" + line.slavePath().toLocal8Bit() + "\r\n");
}

std::unique_ptr<frmMain> connectedWindow() {
    auto w = std::make_unique<frmMain>();
    w->show();
    w->cmdConnect->click();
    if (w->cmdConnect->text() != QLatin1String("Disconnect")) {
        qWarning() << "could not connect:" << shownMessages();
    }
    return w;
}

}  // namespace testsupport
