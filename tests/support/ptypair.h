// SPDX-License-Identifier: MIT
#pragma once

// A pseudo-terminal pair opened by a test: the code under test opens slavePath() like any
// serial device, and the test plays the other end of the line through the master.

#include <QByteArray>
#include <QString>

namespace testsupport {

class PtyPair {
  public:
    PtyPair();  // raw mode, 9600 baud; throws std::runtime_error when no pty can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    // The test's own descriptor of the slave end, for reading the line's termios.
    int slaveFd() const { return slaveKeep_; }

    void write(const QByteArray& bytes);
    // Closes the master end, as when the far side of the line goes away; the slave end then
    // reads as hung up.
    void closeMaster();
    // Whatever arrives within timeoutMs of silence after the last byte (or of the call).
    QByteArray readAll(int timeoutMs = 200);
    // Exactly n bytes, or fewer when timeoutMs passes first.
    QByteArray readExactly(int n, int timeoutMs = 2000);

  private:
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the line up while the code under test reopens it
    QString slavePath_;
};

}  // namespace testsupport
