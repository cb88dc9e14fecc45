// SPDX-License-Identifier: MIT
// Any burst the traffic log may meet, on any line and in either direction, put into words:
// the decoder must never read past the burst, and a burst that opens with a well-formed
// exception reply must be called one.

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "core/framewords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    using framewords::Direction;
    using framewords::Line;
    for (const Line line : {Line::Modbus, Line::Upload1602, Line::Upload2004}) {
        for (const Direction d : {Direction::Tx, Direction::Rx}) {
            if (framewords::describe(bytes, line, d, codepage::windows1252()).isEmpty()) {
                std::fprintf(stderr, "fuzz_words: a burst without words\n");
                std::abort();
            }
        }
    }
    if (const auto code = framewords::exceptionCode(bytes)) {
        if (!framewords::reply(bytes).startsWith(QStringLiteral("exception ") +
                                                 framewords::exceptionName(*code).left(2))) {
            std::fprintf(stderr, "fuzz_words: an exception reply not named\n");
            std::abort();
        }
    }
    return 0;
}
