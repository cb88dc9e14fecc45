// SPDX-License-Identifier: MIT
#pragma once

// korvo-sim started as a child process for end-to-end tests: start() waits for its
// "ready <path>" line and hands back the path a master opens; the log is its standard
// output so far.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <utility>

namespace testsupport {

class SimProcess {
  public:
    // korvo-sim, or another program of the same habits (a "ready" line, SIGTERM to stop).
    explicit SimProcess(QString program = SimProcess::program()) : program_(std::move(program)) {}
    ~SimProcess();  // stops the program if it still runs
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts korvo-sim with these options; returns the slave path it printed. Throws
    // std::runtime_error (with what it printed) when it exits or stays silent instead.
    QString start(const QStringList& args, int timeoutMs = 5000);

    // SIGTERM, then waits; returns the exit code, or -1 when it had to be killed or did
    // not run. Safe to call twice: the second call returns the same code.
    int stop(int timeoutMs = 5000);

    // Everything it wrote to standard output so far.
    QString log();
    // Waits until the log contains text; true when it does.
    bool waitForLog(const QString& text, int timeoutMs = 3000);

    QString errors();  // its standard error so far
    bool running() const { return process_.state() != QProcess::NotRunning; }

    // build/bin/korvo-sim of this build, or the program named by KORVO_SIM.
    static QString program();
    // build/bin/korvo-bus of this build, or the program named by KORVO_BUS.
    static QString busProgram();

  private:
    QString program_;
    QProcess process_;
    QString out_;
    QString err_;
    int exitCode_ = -1;
};

}  // namespace testsupport
