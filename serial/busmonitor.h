// SPDX-License-Identifier: MIT
#pragma once

// A listen-only monitor of a serial line: it opens a port at the given speed and format,
// never writes a byte to it, and cuts what it hears into frames (core/busframer.h),
// counting them per slave (core/busstats.h). It takes every byte from the port as it
// arrives, so the port's buffer holds only what came since the last event, and keeps at
// most one frame (256 bytes) of its own; the work per arrival is in proportion to the new
// bytes.
//
// Timestamps are taken when the bytes are read from the system, on a monotonic clock:
// exact to the event loop's latency on a pseudo-terminal or a UART, while a USB adapter
// adds its own latency timer (16 ms by default for FTDI chips) and hands bytes over in
// lumps; see docs/bus-monitor.md.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

#include "core/busframer.h"
#include "core/busstats.h"
#include "serial/mscomm.h"

class QTimer;

namespace serialdetail {
class PortBackend;
}

namespace busmonitor {

// Characters of start, data, parity and stop bits for these settings.
int bitsPerCharacter(const serial::LineSettings& line);

class BusMonitor : public QObject {
    Q_OBJECT
  public:
    explicit BusMonitor(QObject* parent = nullptr);
    ~BusMonitor() override;

    // Opens device (a path or a system port name) at line and starts listening; "" or why
    // not ("no such port (...)", "in use or not permitted (...)"). A monitor that is
    // running is stopped first.
    QString start(const QString& device, const serial::LineSettings& line,
                  std::int64_t replyTimeoutUs = 1'000'000);
    // Closes the port; whatever was held becomes a last frame. Does nothing when stopped.
    void stop();
    bool isRunning() const;

    // Microseconds since 1970-01-01 UTC of the monotonic clock's zero (the start): a
    // frame's wall time is startEpochUs() + its startUs.
    std::int64_t startEpochUs() const { return startEpochUs_; }
    // The figures since the last start.
    const busstats::Tally& tally() const { return tally_; }
    // Bytes read since the last start.
    std::uint64_t bytesRead() const { return bytesRead_; }
    // Bytes the monitor handed to its port since the last start: always 0.
    std::uint64_t bytesWritten() const { return 0; }

  signals:
    // A frame is complete (the tally already counts it).
    void frame(const busframe::Frame& f);
    // A request went unanswered (the tally already counts it).
    void missed(const busframe::Missed& m);
    // The port failed (unplugged, gone); the monitor has stopped.
    void failed(const QString& reason);

  private:
    void readArrivals();
    void tick();
    void deliver(const busframe::Output& out);
    std::int64_t nowUs() const;
    void armTimer();

    std::unique_ptr<serialdetail::PortBackend> port_;
    std::unique_ptr<busframe::Framer> framer_;
    busstats::Tally tally_;
    QTimer* timer_ = nullptr;
    std::int64_t startEpochUs_ = 0;
    std::int64_t startNs_ = 0;
    std::uint64_t bytesRead_ = 0;
};

// A pcap file of frames for Wireshark, written as frames come.
class CaptureFile {
  public:
    CaptureFile();
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // "" or why the file cannot be written.
    QString open(const QString& path);
    // startEpochUs: the monitor's startEpochUs() for the frame's times.
    void add(const busframe::Frame& f, std::int64_t startEpochUs);
    // Flushes and closes; "" or why the file could not be completed.
    QString close();

  private:
    struct File;
    std::unique_ptr<File> file_;
};

}  // namespace busmonitor
