// SPDX-License-Identifier: MIT
#pragma once

// What both backends of the serial control share: the settings string, the wire time of
// the line and the limits of the drain at close. Not for use outside serial/.

#include <QString>

#include "serial/mscomm.h"

namespace serialdetail {

// A close waits up to this long for queued output, and longer when the wire time of what
// is queued at the current baud rate (plus a margin) needs it...
inline constexpr int kMinimumDrainMs = 2000;
inline constexpr int kDrainMarginMs = 500;
inline constexpr int kDrainPollMs = 2;
// ...but gives up once nothing has left for this long (or for the wire time of a driver's
// block of characters at a low baud rate).
inline constexpr int kStallMs = 1000;
inline constexpr int kStallCharacters = 64;

[[noreturn]] void fail(const QString& reason);

// Milliseconds the given number of characters take on the wire.
int wireTimeMs(qint64 characters, const serial::LineSettings& line);

}  // namespace serialdetail
