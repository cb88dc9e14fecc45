// SPDX-License-Identifier: MIT
#include "sim/bus/medium.h"

#include <algorithm>
#include <tuple>

#include "sim/text.h"

namespace korvo {

namespace {

// A burst longer than any frame is logged by its length only.
constexpr std::size_t kBurstShown = 512;

}  // namespace

Medium::Medium(std::size_t nodes, std::chrono::microseconds charTime,
               std::chrono::microseconds frameSilence, std::size_t queueLimit)
    : nodes_(nodes), charTime_(charTime), silence_(frameSilence), queueLimit_(queueLimit) {}

void Medium::setEcho(std::size_t node, bool on) {
    nodes_.at(node).echo = on;
}

std::size_t Medium::write(std::size_t node, std::span<const std::uint8_t> bytes,
                          Clock::time_point at) {
    Node& n = nodes_.at(node);
    std::size_t lost = 0;
    for (const std::uint8_t b : bytes) {
        if (n.queue.size() >= queueLimit_) {
            ++lost;
            continue;
        }
        n.queue.push_back({b, at, false});
    }
    if (lost < bytes.size()) {
        n.queue.back().lastOfWrite = true;
    }
    dropped_ += lost;
    return lost;
}

Medium::Clock::time_point Medium::startOf(const Node& n) const {
    return std::max(n.queue.front().at, n.freeAt);
}

void Medium::begin(std::size_t i, Clock::time_point t, std::vector<Note>& notes) {
    Node& n = nodes_[i];
    n.onWire = n.queue.front().byte;
    n.onWireEndsWrite = n.queue.front().lastOfWrite;
    n.queue.pop_front();
    n.start = t;
    n.collided = false;
    std::vector<std::size_t> talking;
    for (std::size_t j = 0; j < nodes_.size(); ++j) {
        if (nodes_[j].onWire) {
            talking.push_back(j);
        }
    }
    if (talking.size() < 2) {
        return;
    }
    // Where two drivers fight, a receiver reads neither character; a low bit from either
    // side wins here, which is as good a model of the garbage as any.
    std::uint8_t mixed = 0xFF;
    for (const std::size_t j : talking) {
        mixed &= *nodes_[j].onWire;
    }
    for (const std::size_t j : talking) {
        nodes_[j].onWire = mixed;
        nodes_[j].collided = true;
    }
    // One collision lasts while any garbled character is still on the wire.
    if (!inCollision_) {
        inCollision_ = true;
        ++collisions_;
        std::string who;
        for (std::size_t k = 0; k < talking.size(); ++k) {
            who += (k == 0 ? "" : (k + 1 == talking.size() ? " and " : ", ")) +
                   std::to_string(talking[k] + 1);
        }
        notes.push_back({t, "collision #" + std::to_string(collisions_) + ": nodes " + who +
                                " on the line in the same character time"});
    }
}

void Medium::finish(std::size_t i, std::vector<Heard>& heard) {
    Node& n = nodes_[i];
    const std::uint8_t b = *n.onWire;
    const auto end = n.start + charTime_;
    n.held.push_back(b);
    if (n.onWireEndsWrite || byCharacter_) {
        for (std::size_t j = 0; j < nodes_.size(); ++j) {
            if (j != i || n.echo) {
                for (const std::uint8_t h : n.held) {
                    heard.push_back({j, h});
                }
            }
        }
        n.held.clear();
    }
    ++carried_;
    if (n.collided) {
        ++garbled_;
    }
    if (n.burst.size() < kBurstShown) {
        n.burst.push_back(b);
    }
    ++n.burstTotal;
    n.lastEnd = end;
    n.freeAt = end;
    n.onWire.reset();
    if (inCollision_ && std::none_of(nodes_.begin(), nodes_.end(),
                                     [](const Node& m) { return m.collided && m.onWire; })) {
        inCollision_ = false;
    }
}

void Medium::closeBurst(std::size_t i, std::vector<Note>& notes) {
    Node& n = nodes_[i];
    const std::string text =
        n.burstTotal > kBurstShown ? std::to_string(n.burstTotal) + " bytes" : hex(n.burst);
    notes.push_back({n.lastEnd, "node " + std::to_string(i + 1) + " sent " + text});
    n.burst.clear();
    n.burstTotal = 0;
}

void Medium::advance(Clock::time_point now, std::vector<Heard>& heard, std::vector<Note>& notes) {
    // Event kinds in the order they are taken when they fall on the same moment: a
    // character that ends as another begins does not collide with it.
    enum class Kind { Finish, Close, Begin };
    for (;;) {
        std::optional<std::tuple<Clock::time_point, Kind, std::size_t>> next;
        const auto consider = [&](Clock::time_point t, Kind k, std::size_t i) {
            const auto c = std::make_tuple(t, k, i);
            if (t <= now && (!next || c < *next)) {
                next = c;
            }
        };
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const Node& n = nodes_[i];
            if (n.onWire) {
                consider(n.start + charTime_, Kind::Finish, i);
                continue;
            }
            if (n.burstTotal > 0 && (n.queue.empty() || startOf(n) >= n.lastEnd + silence_)) {
                consider(n.lastEnd + silence_, Kind::Close, i);
            }
            if (!n.queue.empty()) {
                consider(startOf(n), Kind::Begin, i);
            }
        }
        if (!next) {
            return;
        }
        const auto [t, kind, i] = *next;
        switch (kind) {
            case Kind::Finish:
                finish(i, heard);
                break;
            case Kind::Close:
                closeBurst(i, notes);
                break;
            case Kind::Begin:
                begin(i, t, notes);
                break;
        }
    }
}

std::optional<Medium::Clock::time_point> Medium::nextDue() const {
    std::optional<Clock::time_point> due;
    const auto consider = [&](Clock::time_point t) {
        if (!due || t < *due) {
            due = t;
        }
    };
    for (const Node& n : nodes_) {
        if (n.onWire) {
            consider(n.start + charTime_);
            continue;
        }
        if (n.burstTotal > 0) {
            consider(n.lastEnd + silence_);
        }
        if (!n.queue.empty()) {
            consider(startOf(n));
        }
    }
    return due;
}

}  // namespace korvo
