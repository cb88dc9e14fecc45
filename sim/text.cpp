// SPDX-License-Identifier: MIT
#include "sim/text.h"

#include "core/hex.h"

namespace korvo {

std::string hexByte(std::uint8_t b) {
    const auto d = ::hex::byteDigits(b);
    return {d[0], d[1]};
}

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!out.empty()) {
            out += ' ';
        }
        out += hexByte(b);
    }
    return out;
}

std::string quoted(std::span<const std::uint8_t> bytes) {
    std::string out = "\"";
    for (const std::uint8_t b : bytes) {
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            out += "\\x" + hexByte(b);
        }
    }
    out += '"';
    return out;
}

}  // namespace korvo
