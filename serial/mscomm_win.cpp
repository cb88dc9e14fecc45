// The serial control over the Win32 communications functions, for Windows builds (Qt's
// serial port module is not available to the MinGW cross build). Same class, same
// behaviour as the QSerialPort backend in mscomm.cpp.

#include "serial/mscomm.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <windows.h>

#include "serial/linesettings.h"
#include "serial/lockcheck.h"

using namespace serialdetail;

namespace {

// Windows has no readiness notification for a synchronous handle; an open port is looked
// at this often for bytes to report as arrived.
constexpr int kArrivalPollMs = 5;
// A write that the driver has not taken after this long (plus the wire time) has failed.
constexpr DWORD kWriteTimeoutMs = 2000;

QString lastError() {
    return qt_error_string(static_cast<int>(::GetLastError()));
}

BYTE parityOf(char letter) {
    switch (letter) {
        case 'e':
            return EVENPARITY;
        case 'o':
            return ODDPARITY;
        case 'm':
            return MARKPARITY;
        case 's':
            return SPACEPARITY;
        default:
            return NOPARITY;
    }
}

BYTE stopBitsOf(int code) {
    switch (code) {
        case 2:
            return TWOSTOPBITS;
        case 3:
            return ONE5STOPBITS;
        default:
            return ONESTOPBIT;
    }
}

}  // namespace

struct MSComm::Win32Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    QByteArray received;  // read from the system, not yet taken by Input
    QTimer poll;

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
    void close() {
        poll.stop();
        if (isOpen()) {
            ::CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
        received.clear();
    }
};

MSComm::MSComm(PortMap portMap, QObject* parent)
    : QObject(parent),
      portMap_(portMap ? std::move(portMap) : PortMap(defaultPortDevice)),
      port_(std::make_unique<Win32Port>()),
      lockFolders_(defaultLockFolders()) {
    port_->poll.setInterval(kArrivalPollMs);
    connect(&port_->poll, &QTimer::timeout, this, [this] {
        try {
            collectInput();
        } catch (const CommError&) {
            // settleFailure has closed the port and told the owner through portFailed.
        }
    });
}

MSComm::~MSComm() {
    if (port_->isOpen()) {
        closing_ = true;
        if (failure_.isEmpty()) {
            drainOutput();
        }
        port_->close();
    }
}

void MSComm::CommPort(int portNumber) {
    if (port_->isOpen()) {
        fail(QStringLiteral("The port number cannot change while %1 is open").arg(portLabel()));
    }
    portNumber_ = portNumber;
}

void MSComm::Settings(const QString& settings) {
    const LineSettings line = parseSettings(settings);
    if (port_->isOpen() && failure_.isEmpty()) {
        const LineSettings previous = line_;
        try {
            applyLine(line);
        } catch (const CommError&) {
            try {
                applyLine(previous);
            } catch (const CommError&) {
                // The port refuses even its old settings; the first reason is the useful one.
            }
            throw;
        }
    }
    line_ = line;
    settings_ = settings;
}

void MSComm::applyLine(const LineSettings& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(port_->handle, &dcb)) {
        fail(QStringLiteral("%1 does not tell its settings: %2").arg(portLabel(), lastError()));
    }
    dcb.BaudRate = static_cast<DWORD>(line.baud);
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = parityOf(line.parity);
    dcb.fParity = line.parity == 'n' ? FALSE : TRUE;
    dcb.StopBits = stopBitsOf(line.stopBits);
    dcb.fBinary = TRUE;
    // No flow control, as on the other systems: the module has no handshake lines.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port_->handle, &dcb)) {
        fail(QStringLiteral("%1 does not take these settings: %2").arg(portLabel(), lastError()));
    }
    // Reads return at once with what is there; a write the driver does not take within
    // its wire time and a margin has failed rather than holding the window.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(wireTimeMs(1, line)) + 1;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!::SetCommTimeouts(port_->handle, &timeouts)) {
        fail(QStringLiteral("%1 does not take these settings: %2").arg(portLabel(), lastError()));
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
        noticeArrivals();
        noticed_ = 0;
        port_->close();
        closing_ = false;
        failure_.clear();
        return;
    }

    if (port_->isOpen()) {
        if (settleFailure().isEmpty()) {
            fail(QStringLiteral("%1 is already open").arg(portLabel()));
        }
    }
    if (portNumber_ < 1) {
        fail(QStringLiteral("There is no port number %1").arg(portNumber_));
    }
    device_ = portMap_(portNumber_);
    const QString path = win32DevicePath(device_);
    if (const std::optional<QString> holder = liveLock(path, lockFolders_)) {
        fail(QStringLiteral("Port %1 (%2) cannot be opened: in use by %3")
                 .arg(portNumber_)
                 .arg(device_, *holder));
    }
    const HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                      0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        QString reason = qt_error_string(static_cast<int>(error));
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            reason = QStringLiteral("in use or not permitted (%1)").arg(reason);
        } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            reason = QStringLiteral("no such port (%1)").arg(reason);
        }
        fail(QStringLiteral("Port %1 (%2) cannot be opened: %3")
                 .arg(portNumber_)
                 .arg(device_, reason));
    }
    port_->handle = handle;
    failure_.clear();
    noticed_ = 0;
    try {
        applyLine(line_);
    } catch (const CommError&) {
        port_->close();
        throw;
    }
    // A freshly opened port starts with an empty receive buffer, whatever the device still
    // held for its last owner.
    ::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR);
    port_->poll.start();
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
    DWORD taken = 0;
    const bool ok = ::WriteFile(port_->handle, bytes.constData(), static_cast<DWORD>(bytes.size()),
                                &taken, nullptr);
    if (!ok) {
        failure_ = lastError();
        fail(settleFailure());
    }
    if (taken != static_cast<DWORD>(bytes.size())) {
        fail(QStringLiteral("%1 did not take the output: %2 of %3 bytes in time")
                 .arg(portLabel())
                 .arg(taken)
                 .arg(bytes.size()));
    }
    emit written(bytes);
}

int MSComm::InBufferCount() {
    requireOpen("count received bytes");
    collectInput();
    return static_cast<int>(
        std::min<qsizetype>(port_->received.size(), std::numeric_limits<int>::max()));
}

QByteArray MSComm::Input() {
    requireOpen("read");
    collectInput();
    noticed_ = 0;
    return std::exchange(port_->received, {});
}

QByteArray MSComm::Peek() {
    requireOpen("look at received bytes");
    collectInput();
    return port_->received;
}

void MSComm::noticeArrivals() {
    const qint64 available = port_->received.size();
    if (available <= noticed_) {
        return;
    }
    const QByteArray fresh = port_->received.mid(noticed_);
    noticed_ = available;
    emit arrived(fresh);
}

void MSComm::collectInput() {
    // Everything the driver holds comes over now, whether or not the event loop has run.
    while (port_->isOpen() && failure_.isEmpty()) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port_->handle, &errors, &status)) {
            failure_ = lastError();
            break;
        }
        if (status.cbInQue == 0) {
            break;
        }
        QByteArray chunk(static_cast<qsizetype>(status.cbInQue), Qt::Uninitialized);
        DWORD got = 0;
        if (!::ReadFile(port_->handle, chunk.data(), status.cbInQue, &got, nullptr)) {
            failure_ = lastError();
            break;
        }
        if (got == 0) {
            break;
        }
        chunk.truncate(static_cast<qsizetype>(got));
        port_->received += chunk;
    }
    noticeArrivals();
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
}

void MSComm::drainOutput() {
    // WriteFile has handed everything to the driver; what is left is its transmit queue,
    // which leaves at the wire rate. FlushFileBuffers would wait for it without a bound, and
    // a far end that stopped reading must not hold the window for minutes.
    const auto pending = [this]() -> qint64 {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port_->handle, &errors, &status)) {
            return 0;
        }
        return status.cbOutQue;
    };
    qint64 left = pending();
    const QDeadlineTimer deadline(
        std::max(kMinimumDrainMs, wireTimeMs(left, line_) + kDrainMarginMs));
    const int stallMs = std::max(kStallMs, wireTimeMs(kStallCharacters, line_));
    QDeadlineTimer stalled(stallMs);
    while (left > 0 && !deadline.hasExpired() && !stalled.hasExpired()) {
        QThread::msleep(kDrainPollMs);
        const qint64 now = pending();
        if (now < left) {
            stalled.setRemainingTime(stallMs);
        }
        left = now;
    }
    if (left > 0) {
        ::PurgeComm(port_->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    }
}

QString MSComm::settleFailure() {
    if (failure_.isEmpty()) {
        return {};
    }
    QString reason = QStringLiteral("%1 failed: %2").arg(portLabel(), failure_);
    if (port_->isOpen() && !closing_) {
        noticeArrivals();
        noticed_ = 0;
        port_->close();
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
                 .arg(portNumber_));
    }
}
