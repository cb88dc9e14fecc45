// SPDX-License-Identifier: MIT
#pragma once

// Watches the serial controls of the windows and turns what they write and what reaches
// their receive buffers into rows of the traffic log, one row per frame, and, when asked,
// into a CSV file written as the session goes.

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "core/framewords.h"
#include "core/modbus.h"
#include "serial/traffic/trafficmodel.h"

class MSComm;
class QTimer;

namespace traffic {

class Recorder : public QObject {
    Q_OBJECT
  public:
    explicit Recorder(QObject* parent = nullptr);
    ~Recorder() override;

    Model& model() { return model_; }

    // Logs every frame comm puts on or takes off its line from now on, until it is
    // destroyed.
    void watch(MSComm& comm, framewords::Line line);

    // The exchange on comm has ended: its outcome (nothing when the port failed) goes to
    // the reply rows it looked at, or to its request when nothing came. note adds what the
    // waiting bytes are, such as a named exception.
    void exchangeEnded(MSComm& comm, std::optional<modbus::Outcome> outcome,
                       const QString& note = {});

    // Appends every row to path as CSV from now on, a header first when the file is new,
    // flushed row by row. The reason when the file cannot be opened; nothing when it is.
    std::optional<QString> logTo(const QString& path);

    qint64 sinceStartMs() const { return clock_.elapsed(); }

    // The code page the program sends text in, so a message reads in the log as typed.
    void setCodePage(const codepage::CodePage& codePage) { codePage_ = codePage; }

  private:
    struct Line;
    struct Pending {
        std::uint64_t serial;
        Row row;
        bool settled;
    };

    Line& lineOf(MSComm* comm);
    void onWritten(MSComm* comm, const QByteArray& bytes);
    void onArrived(MSComm* comm, const QByteArray& bytes);
    void onLost(MSComm* comm, qint64 count);
    // Bytes reach the receive buffer again, or the program acts: the row of the bytes lost
    // meanwhile gets its final count.
    void endLoss(Line& line);
    // The bytes gathered since the last silence become one rx row.
    void closeFrame(Line& line);
    void closeExchange(Line& line, const QString& outcome);
    // meaning: the row's words; by default those framewords gives the bytes.
    std::uint64_t add(const Line& line, bool tx, qint64 sinceStart, qint64 wallClock,
                      const QByteArray& bytes, bool settled, const QString& meaning = {});
    void settle(std::uint64_t serial, const QString& outcome);
    void writeSettled(bool all);
    void forget(QObject* comm);

    QElapsedTimer clock_;
    Model model_;
    std::map<const QObject*, std::unique_ptr<Line>> lines_;
    QFile file_;
    std::deque<Pending> unwritten_;
    bool closing_ = false;
    codepage::CodePage codePage_ = codepage::windows1252();
};

// The program's one recorder, made on first use and owned by the application object.
Recorder& recorder();

}  // namespace traffic
