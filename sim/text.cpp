#include "sim/text.h"

namespace korvo {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}

std::string hexByte(std::uint8_t b) {
    return {kDigits[b >> 4], kDigits[b & 0x0F]};
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
