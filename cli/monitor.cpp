// SPDX-License-Identifier: MIT
#include "cli/monitor.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>

#include "core/framewords.h"
#include "core/hex.h"
#include "serial/busmonitor.h"

namespace cli {

namespace {

// Set by SIGINT or SIGTERM; the event loop looks at it, so that the summary is printed. A
// signal handler can reach nothing but a global of this type.
volatile std::sig_atomic_t interrupted = 0;

// C linkage for std::signal; static because a C name escapes every namespace it sits in.
extern "C" {
static void onInterrupt(int) {
    interrupted = 1;
}
}

constexpr int InterruptPollMs = 50;

QString ms(std::int64_t us) {
    return QStringLiteral("%1 ms").arg(static_cast<double>(us) / 1000.0, 0, 'f', 2);
}

QString bytesText(const busframe::Frame& f) {
    return hex::line(f.bytes).trimmed();
}

QJsonValue orNull(const std::optional<std::int64_t>& v) {
    return v ? QJsonValue(static_cast<qint64>(*v)) : QJsonValue();
}

QJsonObject frameJson(const busframe::Frame& f) {
    QJsonObject o;
    o[QStringLiteral("frame")] = static_cast<qint64>(f.number);
    o[QStringLiteral("t_us")] = static_cast<qint64>(f.startUs);
    o[QStringLiteral("gap_us")] = orNull(f.gapUs);
    o[QStringLiteral("bytes")] = bytesText(f);
    o[QStringLiteral("crc_ok")] = f.crcOk;
    o[QStringLiteral("direction")] = busframe::directionName(f.direction);
    o[QStringLiteral("address")] = f.address ? QJsonValue(*f.address) : QJsonValue();
    o[QStringLiteral("function")] = f.function ? QJsonValue(*f.function) : QJsonValue();
    o[QStringLiteral("meaning")] = f.meaning;
    o[QStringLiteral("turnaround_us")] = orNull(f.turnaroundUs);
    o[QStringLiteral("answers")] =
        f.requestNumber ? QJsonValue(static_cast<qint64>(*f.requestNumber)) : QJsonValue();
    QJsonArray flags;
    for (const QString& name : busframe::flagNames(f.flags).split(u',', Qt::SkipEmptyParts)) {
        flags.append(name);
    }
    o[QStringLiteral("flags")] = flags;
    return o;
}

QString frameLine(const busframe::Frame& f) {
    QString line = QStringLiteral("#%1 %2 s")
                       .arg(f.number)
                       .arg(static_cast<double>(f.startUs) / 1e6, 0, 'f', 6);
    line += f.gapUs ? QStringLiteral("  gap %1").arg(ms(*f.gapUs)) : QStringLiteral("  gap -");
    line += QStringLiteral("  %1").arg(busframe::directionName(f.direction));
    if (f.address) {
        line += QStringLiteral("  slave %1").arg(*f.address);
    }
    line +=
        QStringLiteral("  [%1]  CRC %2  %3")
            .arg(bytesText(f), f.crcOk ? QStringLiteral("ok") : QStringLiteral("bad"), f.meaning);
    if (f.turnaroundUs) {
        line += QStringLiteral("  turnaround %1 (to #%2)")
                    .arg(ms(*f.turnaroundUs))
                    .arg(*f.requestNumber);
    }
    if (f.flags != 0) {
        line += QStringLiteral("  flags %1").arg(busframe::flagNames(f.flags));
    }
    return line;
}

void printSummary(const busmonitor::BusMonitor& m, double seconds, bool json, QTextStream& out) {
    const auto& tally = m.tally();
    const auto slaves = tally.slaves();
    if (json) {
        QJsonObject o;
        o[QStringLiteral("summary")] = true;
        o[QStringLiteral("frames")] = static_cast<qint64>(tally.frames());
        o[QStringLiteral("unknown_frames")] = static_cast<qint64>(tally.unknownFrames());
        o[QStringLiteral("bytes_read")] = static_cast<qint64>(m.bytesRead());
        o[QStringLiteral("bytes_written")] = static_cast<qint64>(m.bytesWritten());
        o[QStringLiteral("seconds")] = seconds;
        QJsonArray list;
        for (const auto& s : slaves) {
            QJsonObject j;
            j[QStringLiteral("address")] = s.address;
            j[QStringLiteral("requests")] = static_cast<qint64>(s.requests);
            j[QStringLiteral("replies")] = static_cast<qint64>(s.replies);
            j[QStringLiteral("no_reply")] = static_cast<qint64>(s.noReply);
            j[QStringLiteral("crc_errors")] = static_cast<qint64>(s.crcErrors);
            QJsonObject exceptions;
            for (const auto& [code, count] : s.exceptions) {
                exceptions[framewords::exceptionName(code)] = static_cast<qint64>(count);
            }
            j[QStringLiteral("exceptions")] = exceptions;
            j[QStringLiteral("turnaround_median_us")] = orNull(s.medianUs);
            j[QStringLiteral("turnaround_p95_us")] = orNull(s.p95Us);
            j[QStringLiteral("turnaround_max_us")] = orNull(s.maxUs);
            list.append(j);
        }
        o[QStringLiteral("slaves")] = list;
        out << QJsonDocument(o).toJson(QJsonDocument::Compact) << '\n';
        out.flush();
        return;
    }
    out << QStringLiteral(
               "summary: %1 frames (%2 of unknown function), %3 bytes read, %4 "
               "written, %5 s\n")
               .arg(tally.frames())
               .arg(tally.unknownFrames())
               .arg(m.bytesRead())
               .arg(m.bytesWritten())
               .arg(seconds, 0, 'f', 1);
    for (const auto& s : slaves) {
        QString line =
            QStringLiteral("slave %1: %2 requests, %3 replies, %4 no reply, %5 CRC errors")
                .arg(s.address)
                .arg(s.requests)
                .arg(s.replies)
                .arg(s.noReply)
                .arg(s.crcErrors);
        if (const QString e = busstats::exceptionsText(s); !e.isEmpty()) {
            line += QStringLiteral(", exceptions ") + e;
        }
        if (s.maxUs) {
            line += QStringLiteral("; turnaround median %1, 95% %2, max %3")
                        .arg(ms(*s.medianUs), ms(*s.p95Us), ms(*s.maxUs));
        }
        out << line << '\n';
    }
    out.flush();
}

}  // namespace

Exit monitor(const Options& o, const QString& device, const serial::LineSettings& line,
             QTextStream& out, QTextStream& err) {
    busmonitor::CaptureFile capture;
    if (o.pcap) {
        if (const QString why = capture.open(*o.pcap); !why.isEmpty()) {
            err << "tessaline-cli: cannot write " << *o.pcap << ": " << why << '\n';
            return Exit::Usage;
        }
    }
    busmonitor::BusMonitor m;
    QEventLoop loop;
    std::uint64_t heard = 0;
    QString failure;
    QObject::connect(&m, &busmonitor::BusMonitor::frame, &loop, [&](const busframe::Frame& f) {
        // A lump may close more frames than were asked for: those are left out.
        if (o.frames && heard >= static_cast<std::uint64_t>(*o.frames)) {
            return;
        }
        ++heard;
        capture.add(f, m.startEpochUs());
        if (o.json) {
            out << QJsonDocument(frameJson(f)).toJson(QJsonDocument::Compact) << '\n';
        } else {
            out << frameLine(f) << '\n';
        }
        out.flush();
        if (o.frames && heard >= static_cast<std::uint64_t>(*o.frames)) {
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
        }
    });
    QObject::connect(&m, &busmonitor::BusMonitor::missed, &loop,
                     [&](const busframe::Missed& missed) {
                         if (!o.json) {
                             out << QStringLiteral("   no reply from slave %1 to #%2\n")
                                        .arg(missed.address)
                                        .arg(missed.requestNumber);
                             out.flush();
                         }
                     });
    QObject::connect(&m, &busmonitor::BusMonitor::failed, &loop, [&](const QString& why) {
        failure = why;
        loop.quit();
    });

    if (const QString why = m.start(device, line); !why.isEmpty()) {
        err << "tessaline-cli: " << device << ": " << why << '\n';
        return Exit::Port;
    }
    err << QStringLiteral(
               "tessaline-cli: listening on %1 at %2 baud, writing nothing (Ctrl+C "
               "stops)\n")
               .arg(device)
               .arg(line.baud);
    err.flush();
    interrupted = 0;
    const auto previousInt = std::signal(SIGINT, onInterrupt);
    const auto previousTerm = std::signal(SIGTERM, onInterrupt);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (interrupted != 0) {
            loop.quit();
        }
    });
    watch.start(InterruptPollMs);
    QTimer duration;
    duration.setSingleShot(true);
    duration.setTimerType(Qt::PreciseTimer);
    if (o.durationS) {
        QObject::connect(&duration, &QTimer::timeout, &loop, &QEventLoop::quit);
        duration.start(static_cast<int>(
            std::min(std::llround(*o.durationS * 1000.0), static_cast<long long>(INT_MAX))));
    }
    loop.exec();
    // Frames still held are printed before the summary, and the capture closes with them.
    m.stop();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    const double seconds =
        static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count() -
                            m.startEpochUs()) /
        1e6;
    printSummary(m, seconds, o.json, out);
    if (const QString why = capture.close(); !why.isEmpty()) {
        err << "tessaline-cli: " << *o.pcap << ": " << why << '\n';
    }
    if (!failure.isEmpty()) {
        err << "tessaline-cli: " << device << ": " << failure << '\n';
        return Exit::Port;
    }
    return Exit::Good;
}

}  // namespace cli
