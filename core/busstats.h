// SPDX-License-Identifier: MIT
#pragma once

// Per-slave figures of a listened line: requests, replies, requests left unanswered, CRC
// errors, exceptions by name, and the turnaround's median, 95th percentile and maximum.
// Fed with the framer's output; memory stays bounded however long the line is watched.

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/busframer.h"

namespace busstats {

struct Slave {
    std::uint8_t address = 0;
    std::uint64_t requests = 0;
    std::uint64_t replies = 0;
    std::uint64_t noReply = 0;
    std::uint64_t crcErrors = 0;
    std::map<std::uint8_t, std::uint64_t> exceptions;  // by exception code
    std::uint64_t turnarounds = 0;                     // replies paired with a request
    std::optional<std::int64_t> medianUs;
    std::optional<std::int64_t> p95Us;
    std::optional<std::int64_t> maxUs;
};

class Tally {
  public:
    void add(const busframe::Output& out);
    void add(const busframe::Frame& f);
    void addMissed(const busframe::Missed& m);

    // Every address heard, lowest first, with its figures worked out now.
    std::vector<Slave> slaves() const;
    std::uint64_t frames() const { return frames_; }
    std::uint64_t unknownFrames() const { return unknown_; }

    // Turnaround samples kept per slave for the percentiles: the latest ones, so that the
    // figures follow the line and memory stays flat (the maximum stays exact).
    static constexpr std::size_t MaxSamples = 65536;

  private:
    struct Entry {
        Slave figures;
        std::vector<std::int64_t> samples;
        std::uint64_t seen = 0;
    };
    Entry& entry(std::uint8_t address);

    std::map<std::uint8_t, Entry> entries_;
    std::uint64_t frames_ = 0;
    std::uint64_t unknown_ = 0;
};

// "02 illegal data address ×3, 01 illegal function ×1"; "" for none.
QString exceptionsText(const Slave& s);

}  // namespace busstats
