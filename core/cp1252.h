// SPDX-License-Identifier: MIT
#pragma once

// The settings file and the bytes sent to the display are in Windows-1252, the 8-bit code
// page the tool has always used. The conversion is done here so it is the same on every
// platform, whatever the system's own locale.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace cp1252 {

// One byte per character; a character with no Windows-1252 byte becomes '?'.
QByteArray fromUnicode(QStringView text);

// Every byte maps to one character; the five unassigned bytes map to the C1 control
// character of the same value, so that a round trip keeps them.
QString toUnicode(QByteArrayView bytes);

}  // namespace cp1252
