// SPDX-License-Identifier: MIT
#pragma once

// Two-wire RS-485 as one shared medium, without any I/O: what a node writes goes out one
// character per character time, as its UART would send it, and every other node hears what
// one write() put on the line once its last character is on the wire, in one piece, as a
// USB adapter hands over a lump. A writer that writes byte by byte (korvo-sim pacing its
// replies) is heard byte by byte at each character's time. Holding a write together keeps
// a request whole for a listener that frames by silence even when this process is held up
// between two characters, which a loaded machine does. Two nodes driving the line during
// the same character time collide; the characters they send meanwhile are heard garbled.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvo {

class Medium {
  public:
    using Clock = std::chrono::steady_clock;

    // A character that has reached a node.
    struct Heard {
        std::size_t node;
        std::uint8_t byte;
    };
    // What the medium tells the log, stamped with the moment it happened on the wire.
    struct Note {
        Clock::time_point at;
        std::string text;
    };

    // `queueLimit` bounds what a node may have written and not yet sent; beyond it the
    // bytes are dropped (a writer faster than the line), so memory stays bounded.
    Medium(std::size_t nodes, std::chrono::microseconds charTime,
           std::chrono::microseconds frameSilence, std::size_t queueLimit = 4096);

    // The sender hears its own characters too, as through an echoing adapter.
    void setEcho(std::size_t node, bool on);

    // Every character is handed on as soon as it is on the wire instead of each write whole:
    // a listener sees the line's own timing, but a module that frames by silence may cut a
    // request in two whenever the bus is held up between two of its characters.
    void setByCharacter(bool on) { byCharacter_ = on; }

    // Bytes node wrote at `at`. Returns how many had to be dropped.
    std::size_t write(std::size_t node, std::span<const std::uint8_t> bytes, Clock::time_point at);

    // Runs the wire up to `now`, in the order things happened on it: characters heard go
    // to `heard`, collisions and each node's finished bursts to `notes`.
    void advance(Clock::time_point now, std::vector<Heard>& heard, std::vector<Note>& notes);

    // When advance() next has something to do; nothing while the line is idle.
    std::optional<Clock::time_point> nextDue() const;

    std::size_t nodes() const { return nodes_.size(); }
    unsigned collisions() const { return collisions_; }
    std::uint64_t garbled() const { return garbled_; }
    std::uint64_t dropped() const { return dropped_; }
    std::uint64_t carried() const { return carried_; }

  private:
    struct Pending {
        std::uint8_t byte;
        Clock::time_point at;
        bool lastOfWrite;
    };
    struct Node {
        std::deque<Pending> queue;
        std::optional<std::uint8_t> onWire;  // the character being sent
        bool onWireEndsWrite = false;
        std::vector<std::uint8_t> held;  // sent characters of a write not yet all out
        Clock::time_point start;         // when it began
        Clock::time_point freeAt;        // when the node's UART can start the next one
        bool collided = false;
        bool echo = false;
        std::vector<std::uint8_t> burst;  // what it sent since its last silence
        std::size_t burstTotal = 0;
        Clock::time_point lastEnd;
    };

    Clock::time_point startOf(const Node& n) const;
    void begin(std::size_t i, Clock::time_point t, std::vector<Note>& notes);
    void finish(std::size_t i, std::vector<Heard>& heard);
    void closeBurst(std::size_t i, std::vector<Note>& notes);

    std::vector<Node> nodes_;
    std::chrono::microseconds charTime_;
    std::chrono::microseconds silence_;
    std::size_t queueLimit_;
    bool inCollision_ = false;
    bool byCharacter_ = false;
    unsigned collisions_ = 0;
    std::uint64_t garbled_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t carried_ = 0;
};

}  // namespace korvo
