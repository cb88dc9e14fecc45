// SPDX-License-Identifier: MIT
// The virtual module fed a run of bursts, as its line cuts them at each silence: requests,
// broadcasts, uploads and garbage, with and without its fault options. Beyond not
// crashing: a healthy module answers exactly the requests addressed to it, each answer
// closed by a valid CRC and naming the request's function; the log never carries a control
// character; and whatever an upload changed is a setting the module can really run with.
//
// A master line, when one is given, may garble bursts: those are never answered and change
// nothing. Whatever happened, the display the window draws keeps its shape.
//
// Input: byte 0 picks the model and the faults, byte 1 the address, byte 2 the settings of
// the master's line (bit 0 set: seen at all; bits 1-2 the speed; bit 3 two stop bits; bit
// 4 parity seen, bit 5 even); then bursts, each led
// by one byte: its length in the low 7 bits, and in the top bit "make it valid" (append a
// CRC, or close a 110- or 23-byte burst as a configuration image), so the fuzzer reaches
// past the checks without having to guess a CRC.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/crc16.h"
#include "fuzz/closeimage.h"
#include "sim/display.h"
#include "sim/lineformat.h"
#include "sim/module.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_sim: %s\n", what);
    std::abort();
}

bool printable(const std::string& line) {
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> made(std::span<const std::uint8_t> raw, bool valid) {
    std::vector<std::uint8_t> burst(raw.begin(), raw.end());
    if (!valid) {
        return burst;
    }
    if (burst.size() == korvo::kImage1602Size) {
        fuzz::closeImage(burst, 107);
    } else if (burst.size() == korvo::kUpload2004Size) {
        fuzz::closeImage(burst, 20);
    } else {
        burst = crc16::closed(burst);
    }
    return burst;
}

}  // namespace

std::optional<korvo::SeenLine> masterLine(std::uint8_t pick) {
    if ((pick & 1U) == 0) {
        return std::nullopt;
    }
    korvo::SeenLine seen;
    seen.baud = std::array{9600, 19200, 38400, 4800}[(pick >> 1U) & 3U];
    seen.stopBits = (pick & 8U) != 0 ? 2 : 1;
    if ((pick & 16U) != 0) {
        seen.parity = (pick & 32U) != 0 ? korvo::Parity::Even : korvo::Parity::None;
    }
    return seen;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    korvo::ModuleSetup setup;
    const unsigned pick = data[0];
    setup.model = (pick & 1U) != 0 ? korvo::Model::Korvo216 : korvo::Model::Korvo420;
    setup.faults.noReply = (pick & 2U) != 0;
    setup.faults.corruptCrc = (pick & 4U) != 0;
    if ((pick & 16U) != 0) {
        setup.faults.exception = static_cast<std::uint8_t>(1 + (pick >> 5U));
    }
    if ((pick & 32U) != 0) {
        setup.faults.truncate = pick >> 6U;
    }
    if ((pick & 64U) != 0) {
        setup.faults.extra = 1 + (pick >> 7U);
    }
    const bool healthy = (pick & 0x7EU) == 0;
    setup.address = 1 + data[1] % 247;
    korvo::Module module(setup);
    const std::optional<korvo::SeenLine> master = masterLine(data[2]);

    std::size_t at = 3;
    while (at < size) {
        const std::size_t length = data[at] & 0x7FU;
        const bool valid = (data[at] & 0x80U) != 0;
        ++at;
        const std::size_t n = std::min(length, size - at);
        const std::vector<std::uint8_t> burst = made({data + at, n}, valid);
        at += n;

        const int addressBefore = module.address();
        const korvo::LineFormat lineBefore = module.line();
        const korvo::Result r = module.receive(burst, master);

        for (const std::string& line : r.events) {
            if (!printable(line)) {
                fail("a log line carries a control character");
            }
        }
        if (r.reply.size() > 2 * burst.size() + 300) {
            fail("a reply far longer than any request");
        }
        if (healthy) {
            if (r.verdict != korvo::Verdict::Request) {
                if (!r.reply.empty()) {
                    fail("a reply to something that was not a request to this module");
                }
            } else {
                const std::vector<std::uint8_t>& q = r.reply;
                if (q.size() < 5 || q[0] != addressBefore ||
                    !crc16::matches(std::span(q).first(q.size() - 2), q[q.size() - 2], q.back())) {
                    fail("a reply without this module's address or a valid CRC");
                }
                if (q[1] != burst[1] && !(q[1] == (burst[1] | 0x80U) && q.size() == 5)) {
                    fail("a reply naming another function");
                }
            }
        }
        if (r.verdict == korvo::Verdict::ConfigApplied) {
            if (module.address() < 1 || module.address() > 247 ||
                !korvo::isSupportedBaud(module.line().baud)) {
                fail("an upload left an address or baud rate the module cannot use");
            }
        }
        if (r.verdict != korvo::Verdict::ConfigApplied && module.address() != addressBefore) {
            fail("the address changed without an upload");
        }
        if (r.verdict == korvo::Verdict::Garbled &&
            (!master || !(module.line() == lineBefore) || !r.reply.empty())) {
            fail("a garbled burst was heard");
        }
        if (master && r.verdict == korvo::Verdict::Request && !korvo::agrees(*master, lineBefore)) {
            fail("a request sent at other settings than the module's was answered");
        }
        const std::vector<std::string> shown = korvo::shownLines(module);
        if (shown.size() != static_cast<std::size_t>(module.displayLines())) {
            fail("a display with the wrong number of lines");
        }
        for (const std::string& line : shown) {
            const bool control = std::any_of(line.begin(), line.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20;
            });
            if (line.size() != static_cast<std::size_t>(module.displayColumns()) || control) {
                fail("a shown line of the wrong width or with a control character");
            }
        }
        for (int line = 0; line < module.displayLines(); ++line) {
            if (module.displayText(line).size() !=
                static_cast<std::size_t>(module.displayColumns())) {
                fail("a display line of the wrong width");
            }
        }
    }
    return 0;
}
