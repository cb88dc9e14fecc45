// SPDX-License-Identifier: MIT
#include "core/checksum.h"

#include <algorithm>

namespace checksum {

Sum of(std::span<const std::uint8_t> image, int lastIndex) noexcept {
    Sum c;
    if (lastIndex < 0 || image.empty()) {
        c.complement = 256;
        return c;
    }
    const auto last = std::min<std::size_t>(static_cast<std::size_t>(lastIndex), image.size() - 1);
    int sum = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        sum += image[i];
        if (sum > 255) {
            sum -= 256;
        }
    }
    c.sum = static_cast<std::int16_t>(sum);
    c.complement = static_cast<std::int16_t>(256 - sum);
    return c;
}

std::uint8_t complementByte(const Sum& c) noexcept {
    return static_cast<std::uint8_t>(c.complement & 0xFF);
}

}  // namespace checksum
