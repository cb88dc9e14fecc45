// SPDX-License-Identifier: MIT
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

bool agrees(const SeenLine& master, const LineFormat& receiver) noexcept {
    return master.baud == receiver.baud && master.stopBits == receiver.stopBits &&
           (!master.parity || *master.parity == receiver.parity);
}

std::string describe(const SeenLine& s) {
    std::string parity = "?";
    if (s.parity) {
        parity = *s.parity == Parity::Even ? "E" : "N";
    }
    return std::to_string(s.baud) + " 8" + parity + (s.stopBits == 2 ? "2" : "1");
}

std::optional<std::string> garbling(const SeenLine& master, const LineFormat& module,
                                    bool uploadShaped) {
    if (uploadShaped && agrees(master, kUploadLine)) {
        return std::nullopt;
    }
    if (!agrees(master, module)) {
        return "master at " + describe(master) + ", module at " + describe(module) + ": garbled";
    }
    if (uploadShaped) {
        return "master at " + describe(master) + ", but configuration uploads are taken at " +
               describe(kUploadLine) + " only: garbled";
    }
    return std::nullopt;
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
