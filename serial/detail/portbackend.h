// SPDX-License-Identifier: MIT
#pragma once

// The system's side of the serial control: one open device, its line settings, its
// receive buffer and its transmit queue. MSComm keeps everything else (port numbers, the
// settings string, failures, arrivals, the bounded drain) once, over either backend:
// QSerialPort (portbackend_qt.cpp) or the Win32 communications functions
// (portbackend_win.cpp, for the MinGW build, which has no Qt serial port module).
// Not for use outside serial/.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

#include "serial/mscomm.h"

namespace serialdetail {

class PortBackend {
  public:
    // What the backend tells its control from the event loop: bytes reached the receive
    // buffer; the open device failed (unplugged, gone), with the system's reason.
    struct Hooks {
        std::function<void()> arrived;
        std::function<void(const QString& reason)> failed;
    };

    // The path to open for a device name, and how a message shows the two.
    struct Target {
        QString path;
        QString shown;
    };

    virtual ~PortBackend() = default;

    virtual Target target(const QString& device) const = 0;
    virtual bool isOpen() const = 0;
    // Opens path at line with an empty receive buffer; "" or why not ("in use or not
    // permitted (...)", "no such port (...)").
    virtual QString open(const QString& path, const serial::LineSettings& line) = 0;
    // Drops the receive buffer and whatever the system still holds for transmission.
    virtual void close() = 0;
    // "" or why the device refuses these settings.
    virtual QString apply(const serial::LineSettings& line) = 0;
    // Hands all bytes to the system; "" or why not all were taken. A failing device is
    // reported through Hooks::failed before this returns.
    virtual QString write(const QByteArray& bytes) = 0;
    // Brings into the receive buffer what the system holds now, event loop or not.
    virtual void collect() = 0;
    // Everything received since the last take; the control keeps the receive buffer itself.
    virtual QByteArray take() = 0;
    // Bytes not yet on the wire, and a short wait for some of them to leave.
    virtual qint64 pendingOutput() = 0;
    virtual void waitForOutput(int ms) = 0;
    // What a drain that gave up leaves behind is thrown away, not sent after the close.
    virtual void discardOutput() = 0;
};

std::unique_ptr<PortBackend> makePortBackend(PortBackend::Hooks hooks);

}  // namespace serialdetail
