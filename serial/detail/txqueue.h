// SPDX-License-Identifier: MIT
#pragma once

// How much the operating system still holds for transmission on an open serial port: the
// part of an output that QSerialPort has already handed over but that has not yet left on
// the wire. Platform code lives in txqueue_posix.cpp and txqueue_win.cpp.

class QSerialPort;

namespace serialdetail {

// Bytes waiting in the driver's transmit queue, or -1 when the system cannot tell.
int transmitQueueBytes(const QSerialPort& port);

}  // namespace serialdetail
