// SPDX-License-Identifier: MIT
#pragma once

// Modbus frames in tests: written as hex text, closed with their CRC, and shown the way the
// main window's monitor and korvo-sim's log show them.

#include <QByteArray>
#include <QString>

namespace testsupport {

QByteArray fromHex(const char* spaced);
// Adds the CRC to a frame, low byte first.
QByteArray withCrc(const QByteArray& frame);
QByteArray withCrc(const char* spaced);
// The monitor's text: two upper-case digits and a space each.
QString spaced(const QByteArray& bytes);
// korvo-sim's log text: the same without the last space.
QString hexOf(const QByteArray& bytes);

}  // namespace testsupport
