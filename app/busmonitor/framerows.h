// SPDX-License-Identifier: MIT
#pragma once

// The rows of the bus monitor window: one frame heard on the line a row, with the traffic
// log's columns and the monitor's timings and flags, in a bounded table; the oldest rows go
// first, a hundredth at a time.

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>

#include "core/busframer.h"

namespace monitor {

struct Row {
    busframe::Frame frame;
    std::int64_t epochUs = 0;  // the frame's start, microseconds since 1970-01-01 UTC
    int port = 0;
    QString device;
    bool unanswered = false;  // a request the slave never replied to
};

enum Column {
    TimeMs,
    WallClock,
    Port,
    Direction,
    Bytes,
    Meaning,
    Outcome,
    Address,
    GapMs,
    TurnaroundMs,
    Flags,
    ColumnCount
};

// The fields of a row for a file (the device beside the port, as the traffic log writes).
QStringList fileFields(const Row& row);
QStringList fileHeader();

class FrameRows : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr std::size_t DefaultCapacity = 100'000;

    explicit FrameRows(std::size_t capacity = DefaultCapacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(Row row);
    // The request numbered so went unanswered; its row says so while it is kept.
    void markUnanswered(std::uint64_t requestNumber);
    void clear();

    const Row& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    std::size_t capacity() const { return capacity_; }
    // Rows dropped to keep the capacity since the last clear.
    std::uint64_t dropped() const { return dropped_; }

  signals:
    void droppedChanged(std::uint64_t dropped);

  private:
    std::size_t capacity_;
    std::deque<Row> rows_;
    std::uint64_t dropped_ = 0;
};

}  // namespace monitor
