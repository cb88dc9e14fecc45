// SPDX-License-Identifier: MIT
#include "serial/exchange.h"

#include <QCoreApplication>

#include <algorithm>
#include <set>

#include "core/crc16.h"
#include "core/framewords.h"
#include "serial/mscomm.h"
#include "serial/traffic/recorder.h"

namespace exchange {

namespace {

// The ports with an exchange waiting on them. Events are processed during a wait, so a
// click can ask for a second exchange inside the first; both would share the one count and
// receive buffer.
std::set<const MSComm*>& busyPorts() {
    static std::set<const MSComm*> busy;
    return busy;
}

class Busy {
  public:
    explicit Busy(const MSComm& comm) : comm_(&comm) { busyPorts().insert(comm_); }
    ~Busy() { busyPorts().erase(comm_); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

  private:
    const MSComm* comm_;
};

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

void waitTicks(const Pace& pace, int ticks) {
    // Ticks arrive only while events are processed, so none can slip in between starting
    // the timer and clearing the count.
    pace.timer->start();
    *pace.count = 0;
    while (*pace.count < ticks && pace.timer != nullptr && pace.timer->isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (pace.timer != nullptr) {
        pace.timer->stop();
    }
}

// After the wait: one look at the receive buffer.
void classify(MSComm& comm, const modbus::ExchangeShape& shape, Result& r) {
    // Bytes may still be arriving: the length check counts again after the first look.
    const int waiting = comm.InBufferCount() == 0 ? 0 : comm.InBufferCount();
    if (const auto early = modbus::outcomeBeforeRead(waiting, shape)) {
        r.outcome = *early;
        if (*early == modbus::Outcome::Incomplete) {
            // Left where they are: the next exchange reads its reply behind them.
            r.received = comm.Peek();
        }
    } else {
        r.received = comm.Input();
        r.outcome = modbus::outcomeOfReply(bytesOf(r.received), shape);
    }
    if (r.outcome != modbus::Outcome::Good) {
        r.exceptionCode = framewords::exceptionCode(bytesOf(r.received));
    }
}

// The log names an exception reply when it is what this request got: left waiting as too
// short, or read at the front of a full-length read with nothing waiting before it. Read
// behind bytes from before, it is most likely an old answer, and the log already says that
// the reply was read behind them.
QString recorderNote(const Result& r) {
    const bool ownReply = r.outcome == modbus::Outcome::Incomplete ||
                          (r.outcome == modbus::Outcome::CrcError && r.waitingBefore == 0);
    if (!r.exceptionCode || !ownReply) {
        return {};
    }
    return QStringLiteral("exception ") + framewords::exceptionName(*r.exceptionCode);
}

}  // namespace

OwnPace::OwnPace() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(TickInterval);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { ++count_; });
}

bool running(const MSComm& comm) {
    return busyPorts().contains(&comm);
}

Result run(MSComm& comm, std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape,
           const Pace& pace, const Send& send) {
    Result r;
    if (running(comm)) {
        r.started = false;
        r.failure = QStringLiteral("an exchange is already waiting on this port");
        return r;
    }
    const Busy busy(comm);
    r.sent = crc16::closed(body);
    bool failed = false;
    // Connections that live for this exchange only.
    QObject scope;
    QObject::connect(&comm, &MSComm::portFailed, &scope, [&](const QString& why) {
        failed = true;
        r.failure = why;
    });
    try {
        // The buffer is not emptied before a request, as on the line: what waits now is
        // read in front of the reply.
        r.waitingBefore = comm.InBufferCount();
        QObject::connect(&comm, &MSComm::arrived, &scope, [&r] {
            const auto now = Clock::now();
            r.timings.firstByte = r.timings.firstByte.value_or(now);
            r.timings.lastByte = now;
        });
        if (send) {
            send(r.sent);
        } else {
            comm.Output(r.sent);
        }
        r.timings.written = Clock::now();
        waitTicks(pace, shape.ticks);
        if (failed || !comm.PortOpen()) {
            if (!failed) {
                r.failure = QStringLiteral("port closed during the exchange");
            }
        } else {
            classify(comm, shape, r);
        }
    } catch (const serial::CommError& e) {
        // The port failed under one of the control's own calls.
        r.outcome.reset();
        r.received.clear();
        r.exceptionCode.reset();
        if (r.failure.isEmpty()) {
            r.failure = QString::fromStdString(e.what());
        }
    }
    traffic::recorder().exchangeEnded(comm, r.outcome, recorderNote(r));
    return r;
}

Result run(MSComm& comm, std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape) {
    OwnPace own;
    return run(comm, body, shape, own.pace());
}

}  // namespace exchange
