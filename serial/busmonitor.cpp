// SPDX-License-Identifier: MIT
#include "serial/busmonitor.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include "core/pcap.h"
#include "serial/detail/portbackend.h"

namespace busmonitor {

namespace {

// A pseudo-terminal moves bytes without wire time: a lump read from one arrived at once.
bool hasWireTime(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    return !(real.isEmpty() ? path : real).startsWith(QLatin1String("/dev/pts/"));
}

std::int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int bitsPerCharacter(const serial::LineSettings& line) {
    const int parity = line.parity == 'n' ? 0 : 1;
    // 1.5 stop bits (code 3) round up: the silences are a little longer, never shorter.
    const int stop = line.stopBits == 1 ? 1 : 2;
    return 1 + line.dataBits + parity + stop;
}

BusMonitor::BusMonitor(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &BusMonitor::tick);
}

BusMonitor::~BusMonitor() {
    if (port_ && port_->isOpen()) {
        port_->close();
    }
}

QString BusMonitor::start(const QString& device, const serial::LineSettings& line,
                          std::int64_t replyTimeoutUs) {
    stop();
    port_ = serialdetail::makePortBackend({[this] { readArrivals(); },
                                           [this](const QString& reason) {
                                               // Reported from within the backend: settle it from
                                               // the event loop.
                                               QTimer::singleShot(0, this, [this, reason] {
                                                   if (isRunning()) {
                                                       stop();
                                                       emit failed(reason);
                                                   }
                                               });
                                           }});
    const auto target = port_->target(device);
    if (QString why = port_->open(target.path, line); !why.isEmpty()) {
        port_.reset();
        return why;
    }
    framer_ = std::make_unique<busframe::Framer>(
        busframe::timingFor(line.baud, bitsPerCharacter(line), hasWireTime(target.path)),
        replyTimeoutUs);
    tally_ = {};
    bytesRead_ = 0;
    startNs_ = monotonicNs();
    startEpochUs_ = QDateTime::currentMSecsSinceEpoch() * 1000;
    return {};
}

void BusMonitor::stop() {
    if (!isRunning()) {
        return;
    }
    readArrivals();
    timer_->stop();
    const busframe::Output out = framer_->finish();
    port_->close();
    port_.reset();
    deliver(out);
    framer_.reset();
}

bool BusMonitor::isRunning() const {
    return port_ && port_->isOpen() && framer_;
}

std::int64_t BusMonitor::nowUs() const {
    return (monotonicNs() - startNs_) / 1000;
}

void BusMonitor::readArrivals() {
    if (!port_ || !port_->isOpen() || !framer_) {
        return;
    }
    port_->collect();
    const QByteArray bytes = port_->take();
    if (bytes.isEmpty()) {
        return;
    }
    const std::int64_t now = nowUs();
    bytesRead_ += static_cast<std::uint64_t>(bytes.size());
    deliver(framer_->feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size())),
                          now));
    armTimer();
}

void BusMonitor::tick() {
    if (!isRunning()) {
        return;
    }
    // Bytes the system holds already belong before the silence is judged.
    readArrivals();
    deliver(framer_->idle(nowUs()));
    armTimer();
}

void BusMonitor::armTimer() {
    if (!framer_) {
        return;
    }
    if (const auto due = framer_->nextDeadlineUs()) {
        const std::int64_t waitUs = std::max<std::int64_t>(0, *due - nowUs());
        timer_->start(static_cast<int>(std::min<std::int64_t>((waitUs + 999) / 1000, 60'000)));
    } else {
        timer_->stop();
    }
}

void BusMonitor::deliver(const busframe::Output& out) {
    for (const auto& f : out.frames) {
        tally_.add(f);
        emit frame(f);
    }
    for (const auto& m : out.missed) {
        tally_.addMissed(m);
        emit missed(m);
    }
}

struct CaptureFile::File {
    QFile file;
};

CaptureFile::CaptureFile() = default;
CaptureFile::~CaptureFile() {
    close();
}

QString CaptureFile::open(const QString& path) {
    close();
    file_ = std::make_unique<File>();
    file_->file.setFileName(path);
    if (!file_->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QString why = file_->file.errorString();
        file_.reset();
        return why;
    }
    file_->file.write(pcap::fileHeader());
    file_->file.flush();
    return {};
}

void CaptureFile::add(const busframe::Frame& f, std::int64_t startEpochUs) {
    if (!file_) {
        return;
    }
    // Flushed frame by frame: a capture cut short by a signal still opens.
    file_->file.write(pcap::record(startEpochUs + f.startUs, f.bytes));
    file_->file.flush();
}

QString CaptureFile::close() {
    if (!file_) {
        return {};
    }
    QString why;
    if (!file_->file.flush() || file_->file.error() != QFileDevice::NoError) {
        why = file_->file.errorString();
    }
    file_->file.close();
    file_.reset();
    return why;
}

}  // namespace busmonitor
