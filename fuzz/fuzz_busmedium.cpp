// SPDX-License-Identifier: MIT
// korvo-bus's shared line fed a run of writes from its nodes at times the input picks. Beyond
// not crashing: every character written and kept is carried exactly once; each carried
// character reaches every node but its sender (and the sender too when it echoes); nothing is
// garbled without a collision; nothing due is left undone; and once the line is idle
// nothing is left to do.
//
// Input: byte 0: node count (2..5) in the low bits, bit 4 every character alone, bit 5
// node 1 echoes; then writes of three bytes and their data: the node (low 3 bits), the time
// since the last write in half character times (next byte), the length (next byte, low 5
// bits), then the bytes written.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "sim/bus/medium.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_busmedium: %s\n", what);
    std::abort();
}

constexpr auto kChar = std::chrono::microseconds(1000);
constexpr auto kSilence = std::chrono::microseconds(3500);
constexpr std::size_t kQueue = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t nodes = 2 + (data[0] & 0x03U);
    const bool byCharacter = (data[0] & 0x10U) != 0;
    const bool echo = (data[0] & 0x20U) != 0;
    korvo::Medium medium(nodes, kChar, kSilence, kQueue);
    medium.setByCharacter(byCharacter);
    medium.setEcho(0, echo);

    using Clock = korvo::Medium::Clock;
    Clock::time_point now{};
    std::vector<korvo::Medium::Heard> heard;
    std::vector<korvo::Medium::Note> notes;
    std::uint64_t kept = 0;
    std::size_t at = 1;
    while (at + 3 <= size) {
        const std::size_t node = data[at] % nodes;
        now += data[at + 1] * kChar / 2;
        const std::size_t length = std::min<std::size_t>(data[at + 2] & 0x1FU, size - at - 3);
        const std::span<const std::uint8_t> bytes(data + at + 3, length);
        at += 3 + length;
        medium.advance(now, heard, notes);
        if (const auto due = medium.nextDue(); due && *due <= now) {
            fail("something due now was left undone");
        }
        const std::size_t lost = medium.write(node, bytes, now);
        if (lost > length) {
            fail("more dropped than written");
        }
        kept += length - lost;
    }
    // Nothing can still be due an hour of line time later.
    medium.advance(now + std::chrono::hours(1), heard, notes);
    if (medium.nextDue()) {
        fail("work left on an idle line");
    }
    if (medium.carried() != kept) {
        fail("a kept character was not carried exactly once");
    }
    const std::uint64_t perCharacter = nodes - 1;
    const std::uint64_t echoed = heard.size() - medium.carried() * perCharacter;
    if (heard.size() < medium.carried() * perCharacter || (!echo && echoed != 0) ||
        echoed > medium.carried()) {
        fail("a character reached the wrong number of nodes");
    }
    if (medium.garbled() > medium.carried()) {
        fail("more garbled than carried");
    }
    if (medium.collisions() == 0 && medium.garbled() != 0) {
        fail("garbled without a collision");
    }
    return 0;
}
