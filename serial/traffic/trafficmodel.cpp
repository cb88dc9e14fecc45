// SPDX-License-Identifier: MIT
#include "serial/traffic/trafficmodel.h"

#include <QDateTime>

#include <algorithm>
#include <span>
#include <utility>

#include "core/hex.h"

namespace traffic {

namespace {

QString hexOf(const QByteArray& bytes) {
    return hex::line({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      static_cast<std::size_t>(bytes.size())})
        .trimmed();
}

QString portOf(const Row& r) {
    return r.port > 0 ? QStringLiteral("%1 %2").arg(r.port).arg(r.device) : r.device;
}

}  // namespace

QStringList fileHeader() {
    return {QStringLiteral("ms"),      QStringLiteral("time"),      QStringLiteral("port"),
            QStringLiteral("device"),  QStringLiteral("direction"), QStringLiteral("bytes"),
            QStringLiteral("meaning"), QStringLiteral("outcome")};
}

QStringList fileFields(const Row& r) {
    return {QString::number(r.sinceStartMs),
            QDateTime::fromMSecsSinceEpoch(r.wallClockMs)
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
            r.port > 0 ? QString::number(r.port) : r.device,
            r.device,
            r.tx ? QStringLiteral("tx") : QStringLiteral("rx"),
            hexOf(r.bytes),
            r.meaning,
            r.outcome};
}

QString csvRecord(const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields) {
        if (f.contains(u',') || f.contains(u'"') || f.contains(u'\n') || f.contains(u'\r')) {
            QString q = f;
            q.replace(u'"', QStringLiteral("\"\""));
            quoted << u'"' + q + u'"';
        } else {
            quoted << f;
        }
    }
    return quoted.join(u',') + QStringLiteral("\r\n");
}

QString textLine(const QStringList& fields) {
    QStringList flat;
    flat.reserve(fields.size());
    for (QString f : fields) {
        f.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        flat << f;
    }
    return flat.join(u'\t') + u'\n';
}

namespace {

// Views learn of new rows at most this often: a table view's work for an insertion, and
// far more for a removal at the top of 100,000 rows, is paid once for the rows of a whole
// exchange rather than once a row.
constexpr int kFlushMs = 100;

}  // namespace

Model::Model(std::size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, &Model::flush);
}

int Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int Model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant Model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& r = row(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == TimeMs) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    switch (index.column()) {
        case TimeMs:
            return QString::number(r.sinceStartMs);
        case WallClock:
            return QDateTime::fromMSecsSinceEpoch(r.wallClockMs)
                .toString(QStringLiteral("HH:mm:ss.zzz"));
        case Port:
            return portOf(r);
        case Direction:
            return r.tx ? QStringLiteral("tx") : QStringLiteral("rx");
        case Bytes:
            return hexOf(r.bytes);
        case Meaning:
            return r.meaning;
        case Outcome:
            return r.outcome;
        default:
            return {};
    }
}

QVariant Model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const std::array<const char*, ColumnCount> titles{"ms",    "Time",    "Port",   "Dir",
                                                             "Bytes", "Meaning", "Outcome"};
    return section >= 0 && section < ColumnCount
               ? QString::fromLatin1(titles[static_cast<std::size_t>(section)])
               : QVariant();
}

std::uint64_t Model::append(Row row) {
    rows_.push_back(std::move(row));
    if (!flushTimer_.isActive()) {
        flushTimer_.start();
    }
    return firstSerial_ + rows_.size() - 1;
}

void Model::flush() {
    flushTimer_.stop();
    if (const auto c = std::exchange(changed_, std::nullopt)) {
        emit dataChanged(index(static_cast<int>(c->first), Outcome),
                         index(static_cast<int>(c->second), Outcome));
    }
    if (rows_.size() > shown_) {
        beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(rows_.size()) - 1);
        shown_ = rows_.size();
        endInsertRows();
    }
    if (rows_.size() > capacity_) {
        // The oldest hundredth goes at once, so that the removal, costly for a view, comes
        // once in many rows.
        const std::size_t n =
            std::max(rows_.size() - capacity_, std::max<std::size_t>(capacity_ / 100, 1));
        beginRemoveRows({}, 0, static_cast<int>(n) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(n));
        firstSerial_ += n;
        dropped_ += n;
        shown_ -= n;
        endRemoveRows();
        emit droppedChanged(dropped_);
    }
}

void Model::setOutcome(std::uint64_t serial, const QString& outcome) {
    if (serial < firstSerial_ || serial - firstSerial_ >= rows_.size()) {
        return;
    }
    const auto at = static_cast<std::size_t>(serial - firstSerial_);
    rows_[at].outcome = outcome;
    if (at < shown_) {
        // Said with the next rows rather than at once: an exchange's outcome and the rows of
        // the one after it then cost a view one repaint, not two.
        changed_ = changed_
                       ? std::pair{std::min(changed_->first, at), std::max(changed_->second, at)}
                       : std::pair{at, at};
        if (!flushTimer_.isActive()) {
            flushTimer_.start();
        }
    }
}

void Model::clear() {
    flushTimer_.stop();
    changed_.reset();
    beginResetModel();
    firstSerial_ += rows_.size();
    rows_.clear();
    shown_ = 0;
    dropped_ = 0;
    endResetModel();
    emit droppedChanged(dropped_);
}

}  // namespace traffic
