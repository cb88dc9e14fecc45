// SPDX-License-Identifier: MIT
#include "serial/mscomm.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <algorithm>
#include <utility>

#include "serial/detail/linesettings.h"
#include "serial/detail/lockcheck.h"
#include "serial/detail/logging.h"
#include "serial/detail/portbackend.h"

using namespace serialdetail;

MSComm::MSComm(serial::PortMap portMap, QObject* parent)
    : QObject(parent),
      portMap_(portMap ? std::move(portMap) : serial::PortMap(portname::defaultDevice)),
      lockFolders_(defaultLockFolders()),
      port_(makePortBackend({[this] { noticeArrivals(); },
                             [this](const QString& reason) { noteFailure(reason); }})) {}

MSComm::~MSComm() {
    if (port_->isOpen()) {
        closing_ = true;
        if (failure_.isEmpty()) {
            drainOutput();
        }
        closePort();
    }
}

void MSComm::CommPort(int portNumber) {
    if (port_->isOpen()) {
        fail(QStringLiteral("The port number cannot change while %1 is open").arg(portLabel()));
    }
    portNumber_ = portNumber;
}

void MSComm::portPath(const QString& path) {
    if (port_->isOpen()) {
        fail(QStringLiteral("The port cannot change while %1 is open").arg(portLabel()));
    }
    path_ = path;
}

void MSComm::Settings(const QString& settings) {
    const serial::LineSettings line = serial::parseSettings(settings);
    if (port_->isOpen() && failure_.isEmpty()) {
        const serial::LineSettings previous = line_;
        try {
            applyLine(line);
        } catch (const serial::CommError&) {
            try {
                applyLine(previous);
            } catch (const serial::CommError&) {
                // The port refuses even its old settings; the first reason is the useful one.
            }
            throw;
        }
        qCDebug(serialLog).noquote() << "settings" << settings << "applied to" << portLabel();
    }
    line_ = line;
    settings_ = settings;
}

void MSComm::applyLine(const serial::LineSettings& line) {
    if (const QString why = port_->apply(line); !why.isEmpty()) {
        fail(QStringLiteral("%1 does not take these settings: %2").arg(portLabel(), why));
    }
}

void MSComm::PortOpen(bool open) {
    if (!open) {
        if (!port_->isOpen()) {
            return;
        }
        closing_ = true;
        if (failure_.isEmpty()) {
            drainOutput();
        }
        closePort();
        closing_ = false;
        failure_.clear();
        qCDebug(serialLog).noquote() << "closed" << portLabel();
        return;
    }

    if (port_->isOpen()) {
        if (settleFailure().isEmpty()) {
            fail(QStringLiteral("%1 is already open").arg(portLabel()));
        }
    }
    if (portNumber_ < 1 && path_.isEmpty()) {
        fail(QStringLiteral("There is no port number %1").arg(portNumber_));
    }
    device_ = path_.isEmpty() ? portMap_(portNumber_) : path_;
    const PortBackend::Target target = port_->target(device_);
    if (const std::optional<QString> holder = liveLock(target.path, lockFolders_)) {
        qCDebug(serialLog).noquote() << "not opening" << target.path << "locked by" << *holder;
        fail(QStringLiteral("%1 cannot be opened: in use by %2")
                 .arg(openLabel(target.shown), *holder));
    }
    failure_.clear();
    received_.clear();
    // A freshly opened port starts with an empty receive buffer, as it does when the device
    // was closed by everyone.
    if (const QString why = port_->open(target.path, line_); !why.isEmpty()) {
        qCDebug(serialLog).noquote() << "open" << target.path << "refused:" << why;
        if (const std::optional<QString> refused = permissionRefused(target.path)) {
            throw serial::PortNotPermitted(QStringLiteral("%1 cannot be opened: %2")
                                               .arg(openLabel(target.shown), *refused)
                                               .toStdString());
        }
        fail(QStringLiteral("%1 cannot be opened: %2").arg(openLabel(target.shown), why));
    }
    qCDebug(serialLog).noquote() << "opened" << target.path << "as" << portLabel() << "at"
                                 << settings_;
}

bool MSComm::PortOpen() const {
    return port_->isOpen() && failure_.isEmpty();
}

void MSComm::Output(std::span<const std::uint8_t> bytes) {
    Output(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size())));
}

void MSComm::Output(const QByteArray& bytes) {
    requireOpen("send");
    const QString why = port_->write(bytes);
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
    if (!why.isEmpty()) {
        fail(QStringLiteral("%1 did not take the output: %2").arg(portLabel(), why));
    }
    qCDebug(serialLog).noquote() << "out" << bytes.size() << "bytes on" << portLabel();
    emit written(bytes);
}

int MSComm::InBufferCount() {
    requireOpen("count received bytes");
    collectInput();
    return static_cast<int>(received_.size());
}

QByteArray MSComm::Input() {
    requireOpen("read");
    collectInput();
    return std::exchange(received_, {});
}

QByteArray MSComm::Peek() {
    requireOpen("look at received bytes");
    collectInput();
    return received_;
}

void MSComm::noticeArrivals() {
    // The backend holds only what came since the last call, so taking it all costs the new
    // bytes, however long the receive buffer has been left unread.
    QByteArray fresh = port_->take();
    if (fresh.isEmpty()) {
        return;
    }
    const qsizetype room = InBufferSize - received_.size();
    const qint64 dropped = std::max<qsizetype>(0, fresh.size() - room);
    if (dropped > 0) {
        fresh.truncate(room);
    }
    qCDebug(serialLog).noquote()
        << "in" << fresh.size() << "bytes on" << portLabel()
        << (dropped > 0 ? QStringLiteral("(%1 beyond the receive buffer, dropped)").arg(dropped)
                        : QString());
    if (!fresh.isEmpty()) {
        received_ += fresh;
        emit arrived(fresh);
    }
    if (dropped > 0) {
        emit lost(dropped);
    }
}

void MSComm::collectInput() {
    // Pull in what the system has received even when the event loop has not run since.
    port_->collect();
    noticeArrivals();
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
}

void MSComm::drainOutput() {
    // Queued bytes leave at the wire rate, so the wait ends when they are gone, when their
    // wire time (plus a margin) is up, or when nothing has left for a while: a far end that
    // stopped reading (a pty nobody drains) must not hold the window for minutes.
    qint64 left = port_->pendingOutput();
    const QDeadlineTimer deadline(
        std::max(kMinimumDrainMs, wireTimeMs(left, line_) + kDrainMarginMs));
    const int stallMs = std::max(kStallMs, wireTimeMs(kStallCharacters, line_));
    QDeadlineTimer stalled(stallMs);
    while (left > 0 && failure_.isEmpty() && !deadline.hasExpired() && !stalled.hasExpired()) {
        port_->waitForOutput(kDrainPollMs);
        const qint64 now = port_->pendingOutput();
        if (now < left) {
            stalled.setRemainingTime(stallMs);
        }
        left = now;
    }
    if (left > 0) {
        port_->discardOutput();
    }
}

void MSComm::closePort() {
    // Closing drops the receive buffer; what was in it has been seen already.
    noticeArrivals();
    received_.clear();
    port_->close();
}

void MSComm::noteFailure(const QString& reason) {
    // Only noted here: the port may be in the middle of its own read or write, so it is
    // closed afterwards, by the operation that called into it or from the event loop.
    if (!port_->isOpen() || !failure_.isEmpty()) {
        return;
    }
    failure_ = reason;
    qCDebug(serialLog).noquote() << portLabel() << "failed:" << reason;
    if (!closing_) {
        QMetaObject::invokeMethod(
            this, [this] { settleFailure(); }, Qt::QueuedConnection);
    }
}

QString MSComm::settleFailure() {
    if (failure_.isEmpty()) {
        return {};
    }
    QString reason = QStringLiteral("%1 failed: %2").arg(portLabel(), failure_);
    if (port_->isOpen() && !closing_) {
        closePort();
        // Last: a slot may close or delete the control (deleteLater) in response.
        emit portFailed(reason);
    }
    return reason;
}

void MSComm::requireOpen(const char* operation) {
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
    if (!port_->isOpen()) {
        fail(QStringLiteral("Cannot %1: port %2 is not open")
                 .arg(QString::fromLatin1(operation))
                 .arg(path_.isEmpty() ? QString::number(portNumber_) : path_));
    }
}
