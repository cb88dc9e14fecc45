// SPDX-License-Identifier: MIT
#pragma once

// The serial control each window owns (named MSComm1 there): a port number, a settings
// string such as "9600,n,8,1", open and close, and polled byte I/O. No notification
// events are used: received data are found by polling InBufferCount.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>

#include "core/portname.h"

namespace serialdetail {
class PortBackend;
}

namespace serial {

// Raised for a port that does not exist or is busy, a settings string the control cannot
// accept, or I/O on a port that is closed or failed; what() is a reason a technician can
// read.
class CommError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raised by PortOpen(true) when the system refuses the device to this user for want of
// permission; what() says so and names the fix.
class PortNotPermitted : public CommError {
  public:
    using CommError::CommError;
};

struct LineSettings {
    int baud = 9600;
    char parity = 'n';  // one of n, e, o, m, s
    int dataBits = 8;   // 5..8
    int stopBits = 1;   // 1, 2; or 3 for 1.5
};

// Parses "9600,n,8,1"; throws CommError with the reason when the string is not accepted.
LineSettings parseSettings(const QString& settings);

// Turns a port number into the device path or name to open.
using PortMap = std::function<QString(int portNumber)>;

}  // namespace serial

class MSComm : public QObject {
    Q_OBJECT
  public:
    enum class InputModeKind { Text, Binary };

    explicit MSComm(serial::PortMap portMap = portname::defaultDevice, QObject* parent = nullptr);
    ~MSComm() override;

    // Port number from 1; written only while the port is closed (serial::CommError otherwise). A
    // number below 1 is stored and refused by the next open.
    void CommPort(int portNumber);
    int CommPort() const { return portNumber_; }

    // A device given by its path rather than a port number (the command line's --port
    // PATH): opening takes path whatever CommPort holds, and messages and the traffic log
    // name the port by the path. Written only while the port is closed (serial::CommError
    // otherwise); "" goes back to the port number.
    void portPath(const QString& path);
    QString portPath() const { return path_; }

    // Checked when written; throws serial::CommError for a string the control cannot accept and
    // keeps the previous settings then. On an open port the new settings apply at once.
    void Settings(const QString& settings);
    QString Settings() const { return settings_; }

    // true opens with an empty receive buffer (serial::CommError when the port is missing, busy or
    // already open); false closes, after a bounded wait for bytes already handed to Output
    // to leave. Closing a closed port does nothing.
    void PortOpen(bool open);
    bool PortOpen() const;

    void InputMode(InputModeKind mode) { inputMode_ = mode; }
    InputModeKind InputMode() const { return inputMode_; }

    // Queues all bytes for transmission in order and returns without waiting for them.
    // serial::CommError on a closed or failed port.
    void Output(std::span<const std::uint8_t> bytes);
    void Output(const QByteArray& bytes);

    // The receive buffer holds at most this many bytes, as a serial driver's does: bytes
    // that reach it full are dropped and reported by lost(), so that a line that talks while
    // nothing reads costs neither memory nor time beyond this.
    static constexpr qsizetype InBufferSize = 4096;

    // Bytes received and not yet taken by Input, counting everything the operating system
    // holds at the time of the call, whether or not the event loop has run; at most
    // InBufferSize. serial::CommError on a closed or failed port.
    int InBufferCount();

    // Every waiting byte, in order of arrival; empties the receive buffer. serial::CommError on a
    // closed or failed port.
    QByteArray Input();

    // The waiting bytes without taking them: InBufferCount and Input are unchanged by it.
    // serial::CommError on a closed or failed port.
    QByteArray Peek();

    // Received bytes already reported by arrived() and not yet taken by Input.
    int noticedWaiting() const { return static_cast<int>(received_.size()); }

    // The device path or name the last open used (for messages).
    QString deviceName() const { return device_; }

    // Where other programs' lock files are looked for before a port opens (/run/lock and
    // /var/lock). A port that a running process has locked is refused, as a busy one is.
    void lockFolders(const QStringList& folders) { lockFolders_ = folders; }

  signals:
    // The open port failed (adapter unplugged, device gone); the port is closed already.
    // Emitted from the event loop, or from within the operation that met the failure just
    // before it throws serial::CommError. Slots may reopen the port or deleteLater() the control.
    void portFailed(const QString& reason);

    // For an observer of the line (the traffic log): bytes Output handed to the port, and
    // bytes as they reach the receive buffer, each byte reported once, before Input can
    // take it. Observing takes nothing from the buffer.
    void written(const QByteArray& bytes);
    void arrived(const QByteArray& bytes);
    // Bytes that came while the receive buffer was full and were dropped, reported as they
    // come (after arrived() for those of the same arrival that found room).
    void lost(qint64 count);

  private:
    void drainOutput();
    void applyLine(const serial::LineSettings& line);
    void collectInput();
    // Moves what the system received into the receive buffer, up to its size, and reports
    // it; the work is that of the new bytes only.
    void noticeArrivals();
    // Drops the receive buffer, after reporting what had arrived in it.
    void closePort();
    // The open port failed: noted now, settled by the next operation or the event loop.
    void noteFailure(const QString& reason);
    // Closes a port that reported a failure and emits portFailed (once); returns the
    // reason, or "" when the port has not failed.
    QString settleFailure();
    // Throws serial::CommError unless the port is open and has not failed.
    void requireOpen(const char* operation);
    QString portLabel() const;
    // "Port 3 (shown)", or "Port shown" for a port given by its path.
    QString openLabel(const QString& shown) const;

    serial::PortMap portMap_;
    int portNumber_ = 1;
    QString settings_ = QStringLiteral("9600,n,8,1");
    serial::LineSettings line_;
    QString device_;
    QString path_;  // the device given by its path; "" when the number decides
    QStringList lockFolders_;
    InputModeKind inputMode_ = InputModeKind::Text;
    QString failure_;  // reason of a failure not yet settled; empty when none
    bool closing_ = false;
    QByteArray received_;  // the receive buffer: reported as arrived, not yet taken
    // The system's side: QSerialPort, or Win32 on Windows. Last, so that it goes first and
    // nothing it reports while going finds the members above gone.
    std::unique_ptr<serialdetail::PortBackend> port_;
};
