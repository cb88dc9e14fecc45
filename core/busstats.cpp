// SPDX-License-Identifier: MIT
#include "core/busstats.h"

#include <QStringList>

#include <algorithm>

#include "core/framewords.h"

namespace busstats {

namespace {

// The nearest-rank percentile of sorted samples.
std::int64_t percentile(const std::vector<std::int64_t>& sorted, int percent) {
    const std::size_t n = sorted.size();
    std::size_t rank = (n * static_cast<std::size_t>(percent) + 99) / 100;
    rank = std::clamp<std::size_t>(rank, 1, n);
    return sorted[rank - 1];
}

}  // namespace

Tally::Entry& Tally::entry(std::uint8_t address) {
    Entry& e = entries_[address];
    e.figures.address = address;
    return e;
}

void Tally::add(const busframe::Output& out) {
    for (const auto& f : out.frames) {
        add(f);
    }
    for (const auto& m : out.missed) {
        addMissed(m);
    }
}

void Tally::add(const busframe::Frame& f) {
    using busframe::Direction;
    using busframe::Kind;
    ++frames_;
    if (f.kind == Kind::Unknown || !f.address) {
        if (f.kind == Kind::Unknown) {
            ++unknown_;
        }
        return;
    }
    Entry& e = entry(*f.address);
    if (f.kind == Kind::CrcError) {
        ++e.figures.crcErrors;
        return;
    }
    if (f.direction == Direction::Request) {
        ++e.figures.requests;
        return;
    }
    if (f.direction != Direction::Reply) {
        return;
    }
    ++e.figures.replies;
    if (f.kind == Kind::Exception && f.bytes.size() >= 3) {
        ++e.figures.exceptions[f.bytes[2]];
    }
    if (f.turnaroundUs) {
        const std::int64_t t = *f.turnaroundUs;
        ++e.figures.turnarounds;
        e.figures.maxUs = e.figures.maxUs ? std::max(*e.figures.maxUs, t) : t;
        if (e.samples.size() < MaxSamples) {
            e.samples.push_back(t);
        } else {
            e.samples[e.seen % MaxSamples] = t;
        }
        ++e.seen;
    }
}

void Tally::addMissed(const busframe::Missed& m) {
    ++entry(m.address).figures.noReply;
}

std::vector<Slave> Tally::slaves() const {
    std::vector<Slave> list;
    list.reserve(entries_.size());
    for (const auto& [address, e] : entries_) {
        Slave s = e.figures;
        if (!e.samples.empty()) {
            std::vector<std::int64_t> sorted(e.samples);
            std::sort(sorted.begin(), sorted.end());
            s.medianUs = percentile(sorted, 50);
            s.p95Us = percentile(sorted, 95);
        }
        list.push_back(std::move(s));
    }
    return list;
}

QString exceptionsText(const Slave& s) {
    QStringList parts;
    for (const auto& [code, count] : s.exceptions) {
        parts << QStringLiteral("%1 ×%2").arg(framewords::exceptionName(code)).arg(count);
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace busstats
