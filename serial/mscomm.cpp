#include "serial/mscomm.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "serial/linesettings.h"
#include "serial/lockcheck.h"
#include "serial/txqueue.h"

using namespace serialdetail;

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

// QSerialPort locks a port by the last part of its name, so two names for one device (a
// symbolic link and its target) would both get in; open the device itself.
QString deviceToOpen(const QString& device) {
    const QFileInfo info(device);
    if (info.isSymLink()) {
        QString target = info.canonicalFilePath();
        if (!target.isEmpty()) {
            return target;
        }
    }
    return device;
}

}  // namespace

MSComm::MSComm(PortMap portMap, QObject* parent)
    : QObject(parent),
      portMap_(portMap ? std::move(portMap) : PortMap(defaultPortDevice)),
      port_(std::make_unique<QSerialPort>()),
      lockFolders_(defaultLockFolders()) {
    // Errors are only noted here: the port may be in the middle of its own read or write,
    // so it is closed afterwards, by the operation that called into it or from the event
    // loop.
    connect(port_.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { noteError(error); });
    connect(port_.get(), &QSerialPort::readyRead, this, &MSComm::noticeArrivals);
    // Closing drops the receive buffer; what was in it has been seen already.
    connect(port_.get(), &QIODevice::aboutToClose, this, [this] {
        noticeArrivals();
        noticed_ = 0;
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
    if (!port_->setBaudRate(line.baud) || !port_->setParity(parityOf(line.parity)) ||
        !port_->setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) ||
        !port_->setStopBits(stopBitsOf(line.stopBits)) ||
        !port_->setFlowControl(QSerialPort::NoFlowControl)) {
        fail(QStringLiteral("%1 does not take these settings: %2")
                 .arg(portLabel(), port_->errorString()));
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
    const QString path = deviceToOpen(device_);
    const QString shown = path == device_ ? device_ : QStringLiteral("%1 -> %2").arg(device_, path);
    if (const std::optional<QString> holder = liveLock(path, lockFolders_)) {
        fail(QStringLiteral("Port %1 (%2) cannot be opened: in use by %3")
                 .arg(portNumber_)
                 .arg(shown, *holder));
    }
    port_->setPortName(path);
    port_->setBaudRate(line_.baud);
    port_->setParity(parityOf(line_.parity));
    port_->setDataBits(static_cast<QSerialPort::DataBits>(line_.dataBits));
    port_->setStopBits(stopBitsOf(line_.stopBits));
    port_->setFlowControl(QSerialPort::NoFlowControl);
    failure_.clear();
    if (!port_->open(QIODevice::ReadWrite)) {
        QString reason = port_->errorString();
        if (port_->error() == QSerialPort::PermissionError) {
            reason = QStringLiteral("in use or not permitted (%1)").arg(reason);
        }
        fail(QStringLiteral("Port %1 (%2) cannot be opened: %3")
                 .arg(portNumber_)
                 .arg(shown, reason));
    }
    // A freshly opened port starts with an empty receive buffer, as it does when the device
    // was closed by everyone: a device that stays open elsewhere (a pty keeper, another
    // program) may still hold bytes meant for the last owner.
    port_->clear(QSerialPort::Input);
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
    const qint64 queued = port_->write(bytes);
    // flush() hands the port what it takes now without blocking; the rest follows from the
    // event loop, or from the drain when the port closes.
    port_->flush();
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
    if (queued != bytes.size()) {
        fail(QStringLiteral("%1 did not take the output: %2")
                 .arg(portLabel(), port_->errorString()));
    }
    emit written(bytes);
}

int MSComm::InBufferCount() {
    requireOpen("count received bytes");
    collectInput();
    return static_cast<int>(
        std::min<qint64>(port_->bytesAvailable(), std::numeric_limits<int>::max()));
}

QByteArray MSComm::Input() {
    requireOpen("read");
    collectInput();
    noticed_ = 0;
    return port_->readAll();
}

QByteArray MSComm::Peek() {
    requireOpen("look at received bytes");
    collectInput();
    return port_->peek(port_->bytesAvailable());
}

void MSComm::noticeArrivals() {
    const qint64 available = port_->bytesAvailable();
    if (available <= noticed_) {
        return;
    }
    const QByteArray fresh = port_->peek(available).mid(noticed_);
    noticed_ = available;
    emit arrived(fresh);
}

void MSComm::collectInput() {
    // Pull in what the system has received even when the event loop has not run since:
    // each zero-time wait reads what is there, and stops when nothing more came.
    for (;;) {
        const qint64 before = port_->bytesAvailable();
        if (!port_->waitForReadyRead(0) || port_->bytesAvailable() == before) {
            break;
        }
    }
    noticeArrivals();
    if (const QString reason = settleFailure(); !reason.isEmpty()) {
        fail(reason);
    }
}

void MSComm::drainOutput() {
    // Queued bytes leave at the wire rate, so the wait ends when they are gone, when their
    // wire time (plus a margin) is up, or when nothing has left for a while: a far end that
    // stopped reading (a pty nobody drains) must not hold the window for minutes.
    const auto pending = [this] {
        return port_->bytesToWrite() + std::max(0, transmitQueueBytes(*port_));
    };
    qint64 left = pending();
    const QDeadlineTimer deadline(
        std::max(kMinimumDrainMs, wireTimeMs(left, line_) + kDrainMarginMs));
    const int stallMs = std::max(kStallMs, wireTimeMs(kStallCharacters, line_));
    QDeadlineTimer stalled(stallMs);
    while (left > 0 && failure_.isEmpty() && !deadline.hasExpired() && !stalled.hasExpired()) {
        if (port_->bytesToWrite() > 0) {
            port_->waitForBytesWritten(kDrainPollMs);
        } else {
            // Only the driver's queue is left; closing may discard it on some systems.
            QThread::msleep(kDrainPollMs);
        }
        const qint64 now = pending();
        if (now < left) {
            stalled.setRemainingTime(stallMs);
        }
        left = now;
    }
}

void MSComm::noteError(int error) {
    switch (static_cast<QSerialPort::SerialPortError>(error)) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            break;
        default:
            // Timeouts come from the zero-time waits; open errors are reported by the open.
            return;
    }
    if (!port_->isOpen() || !failure_.isEmpty()) {
        return;
    }
    failure_ = port_->errorString();
    if (!closing_) {
        QMetaObject::invokeMethod(
            this, [this] { settleFailure(); }, Qt::QueuedConnection);
    }
}

QString MSComm::settleFailure() {
    if (failure_.isEmpty()) {
        return {};
    }
    QString reason = QStringLiteral("%1 failed: %2").arg(portLabel(), failure_);
    if (port_->isOpen() && !closing_) {
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
