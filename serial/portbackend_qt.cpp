// SPDX-License-Identifier: MIT
// The serial control's backend over QSerialPort.

#include <QFileInfo>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <utility>

#include "serial/detail/logging.h"
#include "serial/detail/portbackend.h"
#include "serial/detail/txqueue.h"

namespace serialdetail {
namespace {

QSerialPort::Parity parityOf(char letter) {
    switch (letter) {
        case 'e':
            return QSerialPort::EvenParity;
        case 'o':
            return QSerialPort::OddParity;
        case 'm':
            return QSerialPort::MarkParity;
        case 's':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int code) {
    switch (code) {
        case 2:
            return QSerialPort::TwoStop;
        case 3:
            return QSerialPort::OneAndHalfStop;
        default:
            return QSerialPort::OneStop;
    }
}

class QtBackend final : public PortBackend {
  public:
    explicit QtBackend(Hooks hooks) : hooks_(std::move(hooks)) {
        // Errors are only passed on here: the port may be in the middle of its own read or
        // write, so the control closes it afterwards. Timeouts come from the zero-time
        // waits, and open errors are reported by the open.
        QObject::connect(&port_, &QSerialPort::errorOccurred,
                         [this](QSerialPort::SerialPortError e) {
                             if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError) {
                                 qCDebug(serialLog).noquote()
                                     << port_.portName() << "error" << e << port_.errorString();
                             }
                             if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError ||
                                  e == QSerialPort::WriteError) &&
                                 port_.isOpen()) {
                                 hooks_.failed(port_.errorString());
                             }
                         });
        QObject::connect(&port_, &QSerialPort::readyRead, [this] { hooks_.arrived(); });
    }

    // QSerialPort locks a port by the last part of its name, so two names for one device (a
    // symbolic link and its target) would both get in; open the device itself.
    Target target(const QString& device) const override {
        const QFileInfo info(device);
        if (info.isSymLink()) {
            if (QString path = info.canonicalFilePath(); !path.isEmpty()) {
                return {path, QStringLiteral("%1 -> %2").arg(device, path)};
            }
        }
        return {device, device};
    }

    bool isOpen() const override { return port_.isOpen(); }

    QString open(const QString& path, const serial::LineSettings& line) override {
        port_.setPortName(path);
        setLine(line);
        if (!port_.open(QIODevice::ReadWrite)) {
            const QString reason = port_.errorString();
            return port_.error() == QSerialPort::PermissionError
                       ? QStringLiteral("in use or not permitted (%1)").arg(reason)
                       : reason;
        }
        // A device that stays open elsewhere (a pty keeper, another program) may still
        // hold bytes meant for the last owner.
        port_.clear(QSerialPort::Input);
        return {};
    }

    void close() override { port_.close(); }

    QString apply(const serial::LineSettings& line) override {
        return setLine(line) ? QString() : port_.errorString();
    }

    QString write(const QByteArray& bytes) override {
        const qint64 queued = port_.write(bytes);
        // flush() hands the port what it takes now without blocking; the rest follows from
        // the event loop, or from the drain when the port closes.
        port_.flush();
        return queued == bytes.size() ? QString() : port_.errorString();
    }

    void collect() override {
        // Each zero-time wait reads what is there; stop when nothing more came.
        for (;;) {
            const qint64 before = port_.bytesAvailable();
            if (!port_.waitForReadyRead(0) || port_.bytesAvailable() == before) {
                break;
            }
        }
    }

    QByteArray take() override { return port_.readAll(); }

    qint64 pendingOutput() override {
        return port_.bytesToWrite() + std::max(0, transmitQueueBytes(port_));
    }

    void waitForOutput(int ms) override {
        if (port_.bytesToWrite() > 0) {
            port_.waitForBytesWritten(ms);
        } else {
            // Only the driver's queue is left; closing may discard it on some systems.
            QThread::msleep(static_cast<unsigned long>(ms));
        }
    }

    void discardOutput() override {}

  private:
    bool setLine(const serial::LineSettings& line) {
        return port_.setBaudRate(line.baud) && port_.setParity(parityOf(line.parity)) &&
               port_.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) &&
               port_.setStopBits(stopBitsOf(line.stopBits)) &&
               port_.setFlowControl(QSerialPort::NoFlowControl);
    }

    Hooks hooks_;
    QSerialPort port_;
};

}  // namespace

std::unique_ptr<PortBackend> makePortBackend(PortBackend::Hooks hooks) {
    return std::make_unique<QtBackend>(std::move(hooks));
}

}  // namespace serialdetail
