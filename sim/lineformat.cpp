#include "sim/lineformat.h"

#include <algorithm>

namespace korvo {

std::string formatName(const LineFormat& f) {
    std::string name = "8";
    name += f.parity == Parity::Even ? 'E' : 'N';
    name += f.stopBits == 2 ? '2' : '1';
    return name;
}

std::string describe(const LineFormat& f) {
    return std::to_string(f.baud) + " " + formatName(f);
}

std::optional<LineFormat> withFormat(LineFormat f, std::string_view name) {
    if (name == "8N1") {
        f.parity = Parity::None;
        f.stopBits = 1;
    } else if (name == "8N2") {
        f.parity = Parity::None;
        f.stopBits = 2;
    } else if (name == "8E1") {
        f.parity = Parity::Even;
        f.stopBits = 1;
    } else {
        return std::nullopt;
    }
    return f;
}

bool isSupportedBaud(int baud) noexcept {
    return baud == 9600 || baud == 19200 || baud == 38400;
}

int bitsPerChar(const LineFormat& f) noexcept {
    return 1 + 8 + (f.parity == Parity::None ? 0 : 1) + f.stopBits;
}

std::chrono::microseconds charTime(const LineFormat& f) noexcept {
    return std::chrono::microseconds(bitsPerChar(f) * 1'000'000LL / std::max(f.baud, 1));
}

std::chrono::microseconds frameSilence(const LineFormat& f) noexcept {
    const auto t35 = std::chrono::microseconds(bitsPerChar(f) * 3'500'000LL / std::max(f.baud, 1));
    return std::max(t35, std::chrono::microseconds(1750));
}

}  // namespace korvo
