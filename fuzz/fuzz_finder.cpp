// SPDX-License-Identifier: MIT
// Whatever comes back to a finder's probe: the judgement against an independent reading of
// the answer (a CRC worked out bit by bit), an echo looked past, stray bytes behind an
// answer never undoing it, and a quiet line never left waiting.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/finder.h"
#include "fuzz/slowcrc.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_finder: %s\n", what);
    std::abort();
}

bool closedBy(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size();
    const std::uint16_t crc = fuzz::slowCrc(frame.first(n - 2));
    return frame[n - 2] == (crc & 0xFFU) && frame[n - 1] == (crc >> 8U);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int address = 1 + data[0] % 247;
    const auto request = finder::probeRequest(address);
    // The second byte chooses whether the adapter's echo leads the bytes.
    std::vector<std::uint8_t> received;
    if ((data[1] & 1U) != 0) {
        received.assign(request.begin(), request.end());
    }
    received.insert(received.end(), data + 2, data + size);

    // The two probes before this one may still owe their echoes (the older one cut short).
    const auto older = finder::probeRequest(1 + (address + 244) % 247);
    const auto last = finder::probeRequest(1 + (address + 245) % 247);
    const std::vector<std::vector<std::uint8_t>> owed{{older.begin() + data[1] % 8, older.end()},
                                                      {last.begin(), last.end()}};
    const auto share = finder::share(received, request, owed, (data[1] & 2U) != 0);
    std::size_t at = 0;
    std::size_t owedBefore = 0;
    for (const finder::Segment& run : share.earlier) {
        if (run.begin != at || run.end <= run.begin || run.owed >= owed.size() ||
            (at > 0 && run.owed < owedBefore) || run.lost >= owed[run.owed].size()) {
            fail("earlier probes' runs out of order, overlapping or empty");
        }
        at = run.end;
        owedBefore = run.owed + 1;
    }
    if (share.own != at || share.own > received.size()) {
        fail("the probe's own bytes do not follow the earlier runs");
    }

    const auto waiting = finder::judge(request, received, false);
    const auto quiet = finder::judge(request, received, true);
    if (quiet.verdict == finder::Verdict::Waiting) {
        fail("a quiet line left the probe waiting");
    }
    if (waiting.verdict == finder::Verdict::Found) {
        std::span<const std::uint8_t> answer(received);
        if (waiting.echoed) {
            answer = answer.subspan(request.size());
        }
        const bool normal =
            answer.size() >= 7 && answer[1] == 0x04 && answer[2] == 2 && closedBy(answer.first(7));
        const bool exception = answer.size() >= 5 && answer[1] == 0x84 && closedBy(answer.first(5));
        if (answer[0] != address || !(normal || exception) || waiting.value.has_value() != normal ||
            waiting.exceptionCode.has_value() != exception) {
            fail("a find that is no answer of the probed address");
        }
        if (quiet.verdict != finder::Verdict::Found || quiet.value != waiting.value) {
            fail("silence after an answer changed it");
        }
        received.push_back(0x00);
        received.push_back(0xFF);
        if (finder::judge(request, received, true).value != waiting.value) {
            fail("stray bytes behind an answer changed it");
        }
    }
    return 0;
}
