// SPDX-License-Identifier: MIT
// The serial control's backend over the Win32 communications functions, for Windows builds
// (Qt's serial port module is not available to the MinGW cross build).

#include <QThread>
#include <QTimer>

#include <utility>

#include <windows.h>

#include "serial/detail/linesettings.h"
#include "serial/detail/portbackend.h"

namespace serialdetail {
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

class Win32Backend final : public PortBackend {
  public:
    explicit Win32Backend(Hooks hooks) : hooks_(std::move(hooks)) {
        poll_.setInterval(kArrivalPollMs);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            const qsizetype before = received_.size();
            collect();
            if (received_.size() > before) {
                hooks_.arrived();
            }
        });
    }
    ~Win32Backend() override { close(); }
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    // Without the device namespace only COM1..COM9 are found.
    Target target(const QString& device) const override {
        return {portname::win32DevicePath(device), device};
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    QString open(const QString& path, const serial::LineSettings& line) override {
        const HANDLE handle =
            ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                          GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            const QString reason = qt_error_string(static_cast<int>(error));
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
                return QStringLiteral("in use or not permitted (%1)").arg(reason);
            }
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return QStringLiteral("no such port (%1)").arg(reason);
            }
            return reason;
        }
        handle_ = handle;
        if (QString why = apply(line); !why.isEmpty()) {
            close();
            return why;
        }
        // The device may still hold bytes received for its last owner.
        ::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);
        poll_.start();
        return {};
    }

    void close() override {
        poll_.stop();
        if (isOpen()) {
            ::CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
        received_.clear();
    }

    QString apply(const serial::LineSettings& line) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!::GetCommState(handle_, &dcb)) {
            return lastError();
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
        if (!::SetCommState(handle_, &dcb)) {
            return lastError();
        }
        // Reads return at once with what is there; a write the driver does not take within
        // its wire time and a margin has failed rather than holding the window.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(wireTimeMs(1, line)) + 1;
        timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
        return ::SetCommTimeouts(handle_, &timeouts) ? QString() : lastError();
    }

    QString write(const QByteArray& bytes) override {
        DWORD taken = 0;
        if (!::WriteFile(handle_, bytes.constData(), static_cast<DWORD>(bytes.size()), &taken,
                         nullptr)) {
            hooks_.failed(lastError());
            return {};
        }
        if (taken != static_cast<DWORD>(bytes.size())) {
            return QStringLiteral("%1 of %2 bytes in time").arg(taken).arg(bytes.size());
        }
        return {};
    }

    void collect() override {
        while (isOpen()) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(handle_, &errors, &status)) {
                hooks_.failed(lastError());
                return;
            }
            if (status.cbInQue == 0) {
                return;
            }
            QByteArray chunk(static_cast<qsizetype>(status.cbInQue), Qt::Uninitialized);
            DWORD got = 0;
            if (!::ReadFile(handle_, chunk.data(), status.cbInQue, &got, nullptr)) {
                hooks_.failed(lastError());
                return;
            }
            if (got == 0) {
                return;
            }
            chunk.truncate(static_cast<qsizetype>(got));
            received_ += chunk;
        }
    }

    QByteArray take() override { return std::exchange(received_, {}); }

    // WriteFile has handed everything to the driver; what is left is its transmit queue.
    // FlushFileBuffers would wait for it without a bound.
    qint64 pendingOutput() override {
        DWORD errors = 0;
        COMSTAT status{};
        return ::ClearCommError(handle_, &errors, &status) ? status.cbOutQue : 0;
    }

    void waitForOutput(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }

    void discardOutput() override { ::PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR); }

  private:
    Hooks hooks_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    QByteArray received_;  // read from the system, not yet taken
    QTimer poll_;
};

}  // namespace

std::unique_ptr<PortBackend> makePortBackend(PortBackend::Hooks hooks) {
    return std::make_unique<Win32Backend>(std::move(hooks));
}

}  // namespace serialdetail
