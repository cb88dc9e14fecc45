// SPDX-License-Identifier: MIT
#include "serial/traffic/recorder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "serial/detail/logging.h"
#include "serial/mscomm.h"

namespace traffic {

namespace {

// A frame ends after 3.5 character times of silence. Below a few milliseconds the event
// loop's own delays would cut frames that came in one piece, so that is the least gap.
constexpr int kLeastGapMs = 4;

int silenceMs(const QString& settings) {
    try {
        const serial::LineSettings s = serial::parseSettings(settings);
        const double stop = s.stopBits == 3 ? 1.5 : s.stopBits;
        const double bits = 1.0 + s.dataBits + (s.parity == 'n' ? 0 : 1) + stop;
        return std::max(kLeastGapMs, static_cast<int>(std::ceil(3.5 * bits * 1000.0 / s.baud)));
    } catch (const serial::CommError&) {
        return kLeastGapMs;
    }
}

QString outcomeWords(std::optional<modbus::Outcome> o) {
    if (!o) {
        return QStringLiteral("port failed");
    }
    if (*o == modbus::Outcome::Good) {
        return QStringLiteral("good");
    }
    if (*o == modbus::Outcome::Incomplete) {
        return modbus::outcomeText(*o) + QStringLiteral(", left waiting");
    }
    return modbus::outcomeText(*o);
}

// Whether the last byte of the file at path ends a line (a file that cannot be read is
// taken to end one: nothing is added to it).
bool endsWithLineEnd(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() == 0 || !f.seek(f.size() - 1)) {
        return true;
    }
    char last = 0;
    return !f.getChar(&last) || last == '\n';
}

}  // namespace

struct Recorder::Line {
    framewords::Line kind = framewords::Line::Modbus;
    int port = 0;
    QString device;
    QByteArray frame;  // bytes since the last silence
    qint64 frameStart = 0;
    qint64 frameWallClock = 0;
    std::unique_ptr<QTimer> silence;
    bool exchangeOpen = false;
    std::uint64_t request = 0;
    std::vector<std::uint64_t> replies;  // rx rows the open exchange will look at
    int waitingBefore = 0;               // bytes left waiting when the request went out
    bool losing = false;                 // the receive buffer is full and drops what comes
    std::uint64_t lossRow = 0;
    qint64 lost = 0;  // bytes dropped since the buffer filled
};

Recorder::Recorder(QObject* parent) : QObject(parent), model_(Model::DefaultCapacity) {
    clock_.start();
}

Recorder::~Recorder() {
    // The application is going: what is still open goes to the file only.
    closing_ = true;
    for (auto& [comm, line] : lines_) {
        closeFrame(*line);
        endLoss(*line);
        if (line->exchangeOpen) {
            closeExchange(*line, {});
        }
    }
    writeSettled(true);
}

void Recorder::watch(MSComm& comm, framewords::Line kind) {
    auto line = std::make_unique<Line>();
    line->kind = kind;
    line->silence = std::make_unique<QTimer>();
    line->silence->setSingleShot(true);
    line->silence->setTimerType(Qt::PreciseTimer);
    MSComm* c = &comm;
    connect(line->silence.get(), &QTimer::timeout, this, [this, c] { closeFrame(lineOf(c)); });
    lines_[c] = std::move(line);
    connect(c, &MSComm::written, this, [this, c](const QByteArray& b) { onWritten(c, b); });
    connect(c, &MSComm::arrived, this, [this, c](const QByteArray& b) { onArrived(c, b); });
    connect(c, &MSComm::lost, this, [this, c](qint64 n) { onLost(c, n); });
    connect(c, &QObject::destroyed, this, &Recorder::forget);
}

Recorder::Line& Recorder::lineOf(MSComm* comm) {
    return *lines_.at(comm);
}

void Recorder::forget(QObject* comm) {
    const auto it = lines_.find(comm);
    if (it == lines_.end()) {
        return;
    }
    closeFrame(*it->second);
    endLoss(*it->second);
    if (it->second->exchangeOpen) {
        closeExchange(*it->second, {});
    }
    lines_.erase(it);
}

void Recorder::onWritten(MSComm* comm, const QByteArray& bytes) {
    Line& line = lineOf(comm);
    line.port = comm->portPath().isEmpty() ? comm->CommPort() : 0;
    line.device = comm->deviceName();
    // A request ends whatever was arriving, and an exchange nobody closed.
    closeFrame(line);
    endLoss(line);
    if (line.exchangeOpen) {
        closeExchange(line, {});
    }
    const bool modbus = line.kind == framewords::Line::Modbus;
    const std::uint64_t serial =
        add(line, true, sinceStartMs(), QDateTime::currentMSecsSinceEpoch(), bytes, !modbus);
    if (modbus) {
        line.exchangeOpen = true;
        line.request = serial;
        line.replies.clear();
        line.waitingBefore = comm->noticedWaiting();
    }
}

void Recorder::onArrived(MSComm* comm, const QByteArray& bytes) {
    Line& line = lineOf(comm);
    endLoss(line);
    if (line.frame.isEmpty()) {
        line.port = comm->portPath().isEmpty() ? comm->CommPort() : 0;
        line.device = comm->deviceName();
        line.frameStart = sinceStartMs();
        line.frameWallClock = QDateTime::currentMSecsSinceEpoch();
    }
    line.frame += bytes;
    line.silence->start(silenceMs(comm->Settings()));
}

void Recorder::onLost(MSComm* comm, qint64 count) {
    Line& line = lineOf(comm);
    if (!line.losing) {
        // What filled the buffer is a frame of its own; the loss starts a row, counted on
        // until bytes find room again.
        closeFrame(line);
        line.port = comm->CommPort();
        line.device = comm->deviceName();
        line.losing = true;
        line.lost = 0;
        line.lossRow =
            add(line, false, sinceStartMs(), QDateTime::currentMSecsSinceEpoch(), {}, false,
                QStringLiteral("receive buffer full (%1 bytes): arriving bytes lost")
                    .arg(MSComm::InBufferSize));
    }
    line.lost += count;
    qCDebug(serialdetail::recorderLog).noquote()
        << "dropped" << count << "bytes on" << line.device << "," << line.lost << "so far";
    if (!closing_) {
        model_.setOutcome(line.lossRow, QStringLiteral("%1 bytes lost so far").arg(line.lost));
    }
}

void Recorder::endLoss(Line& line) {
    if (!std::exchange(line.losing, false)) {
        return;
    }
    settle(line.lossRow, QStringLiteral("%1 bytes lost").arg(line.lost));
}

void Recorder::closeFrame(Line& line) {
    line.silence->stop();
    if (line.frame.isEmpty()) {
        return;
    }
    const QByteArray bytes = std::exchange(line.frame, {});
    const bool awaited = line.exchangeOpen;
    const std::uint64_t serial =
        add(line, false, line.frameStart, line.frameWallClock, bytes, !awaited);
    if (awaited) {
        line.replies.push_back(serial);
    } else if (line.kind == framewords::Line::Modbus) {
        settle(serial, QStringLiteral("after the wait, left waiting"));
    }
}

void Recorder::exchangeEnded(MSComm& comm, std::optional<modbus::Outcome> outcome,
                             const QString& note) {
    const auto it = lines_.find(&comm);
    if (it == lines_.end() || !it->second->exchangeOpen) {
        return;
    }
    Line& line = *it->second;
    closeFrame(line);
    endLoss(line);
    QString words = outcomeWords(outcome);
    if (!note.isEmpty()) {
        words += QStringLiteral(" (%1)").arg(note);
    }
    const bool read = outcome == modbus::Outcome::Good || outcome == modbus::Outcome::CrcError;
    if (read && line.waitingBefore > 0) {
        words +=
            QStringLiteral(", read behind %1 bytes left waiting before").arg(line.waitingBefore);
    }
    closeExchange(line, words);
}

void Recorder::closeExchange(Line& line, const QString& outcome) {
    line.exchangeOpen = false;
    if (line.replies.empty()) {
        settle(line.request, outcome);
    } else {
        settle(line.request, {});
        for (const std::uint64_t serial : line.replies) {
            settle(serial, outcome);
        }
    }
    line.replies.clear();
}

std::uint64_t Recorder::add(const Line& line, bool tx, qint64 sinceStart, qint64 wallClock,
                            const QByteArray& bytes, bool settled, const QString& meaning) {
    Row row;
    row.sinceStartMs = sinceStart;
    row.wallClockMs = wallClock;
    row.port = line.port;
    row.device = line.device;
    row.tx = tx;
    row.bytes = bytes;
    row.meaning =
        !meaning.isEmpty()
            ? meaning
            : framewords::describe(
                  {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                   static_cast<std::size_t>(bytes.size())},
                  line.kind, tx ? framewords::Direction::Tx : framewords::Direction::Rx, codePage_);
    qCDebug(serialdetail::recorderLog).noquote() << (tx ? "tx" : "rx") << "row," << bytes.size()
                                                 << "bytes on" << line.device << ":" << row.meaning;
    if (!file_.isOpen()) {
        return closing_ ? 0 : model_.append(std::move(row));
    }
    const std::uint64_t serial = closing_ ? 0 : model_.append(row);
    unwritten_.push_back({serial, std::move(row), settled});
    writeSettled(false);
    return serial;
}

void Recorder::settle(std::uint64_t serial, const QString& outcome) {
    if (!outcome.isEmpty() && !closing_) {
        model_.setOutcome(serial, outcome);
    }
    // Rows still waiting for the file are few and the one sought is near the end.
    const auto it = std::find_if(unwritten_.rbegin(), unwritten_.rend(),
                                 [serial](const Pending& p) { return p.serial == serial; });
    if (it != unwritten_.rend()) {
        it->row.outcome = outcome;
        it->settled = true;
    }
    writeSettled(false);
}

void Recorder::writeSettled(bool all) {
    // Rows go out in the order they happened, each once its outcome is known.
    while (!unwritten_.empty() && (all || unwritten_.front().settled)) {
        file_.write(csvRecord(fileFields(unwritten_.front().row)).toUtf8());
        file_.flush();
        unwritten_.pop_front();
    }
}

std::optional<QString> Recorder::logTo(const QString& path) {
    if (file_.isOpen()) {
        writeSettled(true);
        file_.close();
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return QStringLiteral("The traffic log %1 cannot be opened: %2")
            .arg(path, file_.errorString());
    }
    if (file_.size() == 0) {
        file_.write(csvRecord(fileHeader()).toUtf8());
        file_.flush();
    } else if (!endsWithLineEnd(path)) {
        // Whatever the file ends with keeps its own line; the first row starts on the next.
        file_.write("\r\n");
        file_.flush();
    }
    return std::nullopt;
}

Recorder& recorder() {
    static QPointer<Recorder> instance;
    if (instance.isNull()) {
        instance = new Recorder(QCoreApplication::instance());
    }
    return *instance;
}

}  // namespace traffic
