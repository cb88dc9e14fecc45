// SPDX-License-Identifier: MIT
#pragma once

// The device name a port number stands for when nothing else maps it.

#include <QString>

namespace portname {

// COMn on Windows, /dev/ttyUSB<n-1> elsewhere (the first USB serial adapter is port 1).
QString defaultDevice(int portNumber);

// The path CreateFile opens for a Windows port name: "\\.\COM12" for "COM12". Without the
// device namespace only COM1..COM9 are found, so the prefix always goes on; a name that
// has it already is kept.
QString win32DevicePath(const QString& name);

}  // namespace portname
