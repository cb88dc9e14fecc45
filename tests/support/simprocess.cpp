// SPDX-License-Identifier: MIT
#include "tests/support/simprocess.h"

#include <QDeadlineTimer>

#include <stdexcept>

namespace testsupport {

#ifndef KORVO_SIM_PROGRAM
#define KORVO_SIM_PROGRAM ""
#endif
#ifndef KORVO_BUS_PROGRAM
#define KORVO_BUS_PROGRAM ""
#endif

SimProcess::~SimProcess() {
    stop();
}

QString SimProcess::program() {
    const QString env = qEnvironmentVariable("KORVO_SIM");
    return env.isEmpty() ? QStringLiteral(KORVO_SIM_PROGRAM) : env;
}

QString SimProcess::busProgram() {
    const QString env = qEnvironmentVariable("KORVO_BUS");
    return env.isEmpty() ? QStringLiteral(KORVO_BUS_PROGRAM) : env;
}

QString SimProcess::start(const QStringList& args, int timeoutMs) {
    stop();
    out_.clear();
    err_.clear();
    exitCode_ = -1;
    process_.start(program_, args);
    if (!process_.waitForStarted(timeoutMs)) {
        throw std::runtime_error(program_.toStdString() +
                                 " did not start: " + process_.errorString().toStdString());
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QString text = log();
        const qsizetype at = text.startsWith(QStringLiteral("ready "))
                                 ? 0
                                 : text.indexOf(QStringLiteral("\nready "));
        const qsizetype from = at == 0 ? 6 : at + 7;
        const qsizetype end = at < 0 ? -1 : text.indexOf('\n', from);
        if (end > 0) {
            return text.mid(from, end - from);
        }
        if (deadline.hasExpired() || !running()) {
            break;
        }
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    stop();
    throw std::runtime_error(program_.toStdString() +
                             " gave no ready line: " + (log() + errors()).toStdString());
}

int SimProcess::stop(int timeoutMs) {
    if (!running()) {
        return exitCode_;
    }
    process_.terminate();
    if (!process_.waitForFinished(timeoutMs)) {
        process_.kill();
        process_.waitForFinished(timeoutMs);
        exitCode_ = -1;
    } else {
        exitCode_ = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    log();
    errors();
    return exitCode_;
}

QString SimProcess::log() {
    if (running()) {
        process_.waitForReadyRead(0);
    }
    out_ += QString::fromUtf8(process_.readAllStandardOutput());
    return out_;
}

QString SimProcess::errors() {
    err_ += QString::fromUtf8(process_.readAllStandardError());
    return err_;
}

bool SimProcess::waitForLog(const QString& text, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!log().contains(text)) {
        if (deadline.hasExpired() || !running()) {
            return log().contains(text);
        }
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

}  // namespace testsupport
