// SPDX-License-Identifier: MIT
// Any bytes a listener may hear, in any lumps and at any times, cut into frames: every byte
// read comes out in exactly one frame, in order, none longer than the bound, and the
// figures per slave stay consistent.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/busframer.h"
#include "core/busstats.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_busframer: %s\n", what);
    std::abort();
}

}  // namespace

// The first byte picks the speed and whether the line has wire time; then each lump is a
// length byte, two bytes of microseconds since the last read (0xFFFF: a call of idle
// instead) and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static constexpr int Bauds[4] = {9600, 19200, 38400, 115200};
    busframe::Framer framer(
        busframe::timingFor(Bauds[data[0] & 3U], (data[0] & 4U) ? 11 : 10, (data[0] & 8U) != 0),
        (data[0] & 16U) ? 5'000 : 1'000'000);
    busstats::Tally tally;
    std::vector<std::uint8_t> fed;
    std::vector<std::uint8_t> framed;
    std::uint64_t lastNumber = 0;
    const auto take = [&](const busframe::Output& out) {
        for (const auto& f : out.frames) {
            if (f.bytes.empty() || f.bytes.size() > busframe::MaxFrameBytes) {
                fail("a frame empty or over the bound");
            }
            if (f.number != lastNumber + 1) {
                fail("frames out of order");
            }
            lastNumber = f.number;
            if (f.endUs < f.startUs || (f.gapUs && *f.gapUs < 0) ||
                (f.turnaroundUs && *f.turnaroundUs < 0)) {
                fail("a time out of order");
            }
            if (f.requestNumber &&
                (f.direction != busframe::Direction::Reply || *f.requestNumber >= f.number)) {
                fail("a reply paired with what is not an earlier request");
            }
            if (f.meaning.isEmpty()) {
                fail("a frame without words");
            }
            framed.insert(framed.end(), f.bytes.begin(), f.bytes.end());
        }
        tally.add(out);
    };
    std::int64_t now = 0;
    std::size_t at = 1;
    while (at + 3 <= size) {
        const std::size_t length = data[at];
        const unsigned step = static_cast<unsigned>(data[at + 1]) << 8U | data[at + 2];
        at += 3;
        if (step == 0xFFFF) {
            now += 100'000;
            take(framer.idle(now));
            continue;
        }
        now += step;
        const std::span<const std::uint8_t> lump(data + at, std::min(length, size - at));
        at += lump.size();
        fed.insert(fed.end(), lump.begin(), lump.end());
        take(framer.feed(lump, now));
    }
    take(framer.finish());
    if (framed != fed) {
        fail("the frames are not the bytes that were read");
    }
    for (const auto& s : tally.slaves()) {
        if (s.maxUs && (!s.medianUs || *s.medianUs > *s.p95Us || *s.p95Us > *s.maxUs)) {
            fail("turnaround figures out of order");
        }
    }
    return 0;
}
