// SPDX-License-Identifier: MIT
#pragma once

// Closes a burst as a configuration upload: the sum of the bytes before sumAt modulo 256,
// its complement to 256 (0 for 256), and a last byte of 0, so that fuzzed images get past
// the module's checksum test to the field checks behind it.

#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

namespace fuzz {

inline void closeImage(std::vector<std::uint8_t>& burst, std::size_t sumAt) {
    const unsigned sum =
        std::accumulate(burst.begin(), burst.begin() + static_cast<std::ptrdiff_t>(sumAt), 0U) %
        256U;
    burst[sumAt] = static_cast<std::uint8_t>(sum);
    burst[sumAt + 1] = static_cast<std::uint8_t>((256U - sum) & 0xFFU);
    burst.back() = 0;
}

}  // namespace fuzz
