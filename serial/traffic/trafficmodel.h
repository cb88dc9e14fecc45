// SPDX-License-Identifier: MIT
#pragma once

// The rows of the traffic log: one frame a row, kept in a bounded table so that a long
// session scrolls smoothly; the oldest rows go first.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace traffic {

struct Row {
    qint64 sinceStartMs = 0;
    qint64 wallClockMs = 0;  // milliseconds since the Unix epoch
    int port = 0;            // 0 for a port given by its path: the device names it
    QString device;
    bool tx = true;
    QByteArray bytes;
    QString meaning;
    QString outcome;
};

enum Column { TimeMs, WallClock, Port, Direction, Bytes, Meaning, Outcome, ColumnCount };

// The fields of a row for a file: ms, wall-clock, port, device, direction, bytes, meaning,
// outcome.
QStringList fileFields(const Row& row);
QStringList fileHeader();
// One RFC 4180 record (quoted where needed, CRLF at the end).
QString csvRecord(const QStringList& fields);
// One line of plain text: the fields separated by tabs, tabs and line breaks inside a
// field turned into spaces.
QString textLine(const QStringList& fields);

class Model : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr std::size_t DefaultCapacity = 100'000;

    explicit Model(std::size_t capacity = DefaultCapacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Appends a row and returns its serial number, which stays valid for setOutcome while
    // the row is kept. Views see new rows at the next flush.
    std::uint64_t append(Row row);
    // Shows views the rows appended since the last flush, and drops the oldest rows beyond
    // the capacity. Runs by itself shortly after an append.
    void flush();
    // Views see a shown row's new outcome at the next flush too.
    void setOutcome(std::uint64_t serial, const QString& outcome);
    void clear();

    // A row views have been shown (index below rowCount()).
    const Row& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    std::size_t capacity() const { return capacity_; }
    // Rows dropped to keep the capacity since the last clear.
    std::uint64_t dropped() const { return dropped_; }

  signals:
    void droppedChanged(std::uint64_t dropped);

  private:
    std::size_t capacity_;
    std::deque<Row> rows_;
    std::size_t shown_ = 0;  // leading rows views know of
    // Shown rows whose outcome changed since the last flush: [changedFrom_, changedTo_].
    std::optional<std::pair<std::size_t, std::size_t>> changed_;
    QTimer flushTimer_;
    std::uint64_t firstSerial_ = 0;  // serial of rows_.front()
    std::uint64_t dropped_ = 0;
};

}  // namespace traffic
