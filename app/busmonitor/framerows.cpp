// SPDX-License-Identifier: MIT
#include "app/busmonitor/framerows.h"

#include <QDateTime>

#include <algorithm>
#include <array>

#include "core/hex.h"

namespace monitor {

namespace {

QString millis(std::optional<std::int64_t> us) {
    return us ? QString::number(static_cast<double>(*us) / 1000.0, 'f', 3) : QString();
}

QString outcomeOf(const Row& r) {
    const busframe::Frame& f = r.frame;
    QString text = f.kind == busframe::Kind::Unknown ? QStringLiteral("unknown function")
                   : f.crcOk                         ? QStringLiteral("CRC ok")
                                                     : QStringLiteral("CRC error");
    if (f.requestNumber) {
        text += QStringLiteral(", answers #%1").arg(*f.requestNumber);
    }
    if (r.unanswered) {
        text += QStringLiteral(", no reply");
    }
    return text;
}

// The table shows the time of day; a file carries the date too, as the traffic log's does.
QString cell(const Row& r, int column, bool forFile = false) {
    const busframe::Frame& f = r.frame;
    switch (column) {
        case TimeMs:
            return QString::number(f.startUs / 1000);
        case WallClock:
            return QDateTime::fromMSecsSinceEpoch(r.epochUs / 1000)
                .toString(forFile ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                  : QStringLiteral("HH:mm:ss.zzz"));
        case Port:
            return QStringLiteral("%1 %2").arg(r.port).arg(r.device);
        case Direction:
            return busframe::directionName(f.direction);
        case Bytes:
            return hex::line(f.bytes).trimmed();
        case Meaning:
            return f.meaning;
        case Outcome:
            return QStringLiteral("#%1 ").arg(f.number) + outcomeOf(r);
        case Address:
            return f.address ? QString::number(*f.address) : QString();
        case GapMs:
            return millis(f.gapUs);
        case TurnaroundMs:
            return millis(f.turnaroundUs);
        case Flags:
            return busframe::flagNames(f.flags);
        default:
            return {};
    }
}

constexpr std::array<const char*, ColumnCount> kHeaders{
    "ms",      "time",    "port",   "direction",     "bytes", "meaning",
    "outcome", "address", "gap ms", "turnaround ms", "flags"};

}  // namespace

QStringList fileHeader() {
    return {QStringLiteral("ms"),      QStringLiteral("time"),          QStringLiteral("port"),
            QStringLiteral("device"),  QStringLiteral("direction"),     QStringLiteral("bytes"),
            QStringLiteral("meaning"), QStringLiteral("outcome"),       QStringLiteral("address"),
            QStringLiteral("gap_ms"),  QStringLiteral("turnaround_ms"), QStringLiteral("flags")};
}

QStringList fileFields(const Row& r) {
    QStringList fields;
    for (int c = 0; c < ColumnCount; ++c) {
        if (c == Port) {
            fields << QString::number(r.port) << r.device;
        } else {
            fields << cell(r, c, true);
        }
    }
    return fields;
}

FrameRows::FrameRows(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {}

int FrameRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FrameRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FrameRows::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& r = row(index.row());
    if (role == Qt::DisplayRole) {
        return cell(r, index.column());
    }
    if (role == Qt::UserRole && index.column() == Address) {
        return r.frame.address ? QVariant(static_cast<int>(*r.frame.address)) : QVariant();
    }
    return {};
}

QVariant FrameRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount) {
        return {};
    }
    return QString::fromUtf8(kHeaders[static_cast<std::size_t>(section)]);
}

void FrameRows::append(Row row) {
    if (rows_.size() >= capacity_) {
        // The oldest hundredth goes at once: a removal is costly for a view, so it should
        // come seldom.
        const std::size_t drop = std::clamp<std::size_t>(capacity_ / 100, 1, rows_.size());
        beginRemoveRows({}, 0, static_cast<int>(drop) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(drop));
        endRemoveRows();
        dropped_ += drop;
        emit droppedChanged(dropped_);
    }
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void FrameRows::markUnanswered(std::uint64_t requestNumber) {
    if (rows_.empty() || requestNumber < rows_.front().frame.number) {
        return;  // dropped already
    }
    // Frames are numbered in order from the start, so the row is found by its number.
    const auto at = static_cast<std::size_t>(requestNumber - rows_.front().frame.number);
    if (at < rows_.size() && rows_[at].frame.number == requestNumber) {
        rows_[at].unanswered = true;
        const QModelIndex i = index(static_cast<int>(at), Outcome);
        emit dataChanged(i, i);
    }
}

void FrameRows::clear() {
    beginResetModel();
    rows_.clear();
    dropped_ = 0;
    endResetModel();
    emit droppedChanged(0);
}

}  // namespace monitor
