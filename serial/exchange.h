// SPDX-License-Identifier: MIT
#pragma once

// One Modbus request and the one look at its reply, as the main window and the command line
// run it: the request is closed with its CRC and written, a fixed number of 20 ms ticks pass
// while the event loop runs, and then whatever waits in the receive buffer is classified.
// No retry, no early end when the reply is complete, no check of the reply's address or
// function. No widgets: the caller shows the value it returns.

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/modbus.h"

class MSComm;

namespace exchange {

inline constexpr std::chrono::milliseconds TickInterval{20};

// What paces a wait: a precise timer whose every timeout is one tick, and the count those
// ticks go to. The timer's owner counts them (the main window's Timer1_Timer adds one to
// TickCount); the exchange starts the timer, sets the count to 0, lets events be processed
// until the count reaches the shape's ticks, and stops the timer. A wait whose timer goes
// away or is stopped by someone else ends there.
struct Pace {
    QPointer<QTimer> timer;
    std::int16_t* count;
};

// A timer and count of its own, for a caller without one.
class OwnPace {
  public:
    OwnPace();
    Pace pace() { return {&timer_, &count_}; }

  private:
    QTimer timer_;
    std::int16_t count_ = 0;
};

using Clock = std::chrono::steady_clock;

struct Timings {
    // When the request had been handed to the port (queued for the line, not yet on it).
    Clock::time_point written;
    // When the event loop first and last noticed reply bytes arriving during the exchange;
    // bytes left from before are not counted. Empty when none arrived.
    std::optional<Clock::time_point> firstByte;
    std::optional<Clock::time_point> lastByte;
};

struct Result {
    // Empty when no exchange took place or the port failed or closed under it.
    std::optional<modbus::Outcome> outcome;
    // Why outcome is empty.
    QString failure;
    // False when another exchange was running on the same port: nothing was sent.
    bool started = true;
    // The request as written, closed with its CRC.
    std::vector<std::uint8_t> sent;
    // Good or CRC error: every byte that was waiting, now taken from the buffer (those past
    // the expected length are dropped unlooked at). Incomplete: the bytes left waiting,
    // looked at but not taken. No response: nothing.
    QByteArray received;
    // The code of an exception reply at the front of received, when the outcome is not good.
    std::optional<std::uint8_t> exceptionCode;
    // Bytes that were already waiting before the request went out; a read reply is read
    // behind them.
    int waitingBefore = 0;
    Timings timings;

    // A reply of the full expected length was read (good, or with a CRC error).
    bool replyRead() const {
        return outcome == modbus::Outcome::Good || outcome == modbus::Outcome::CrcError;
    }
};

// How the closed request reaches the port; comm.Output when not given.
using Send = std::function<void(std::span<const std::uint8_t> frame)>;

// True while an exchange waits on comm.
bool running(const MSComm& comm);

// body: the request before its CRC. The traffic recorder is told how the exchange ended,
// which it logs for a port it watches.
Result run(MSComm& comm, std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape,
           const Pace& pace, const Send& send = {});
Result run(MSComm& comm, std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape);

}  // namespace exchange
