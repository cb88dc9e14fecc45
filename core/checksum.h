// SPDX-License-Identifier: MIT
#pragma once

// The additive checksum that closes both configuration images (they are not Modbus frames
// and carry no CRC): the sum of the covered bytes modulo 256 and its complement to 256.

#include <cstdint>
#include <span>

namespace checksum {

struct Sum {
    std::int16_t sum = 0;         // 0..255
    std::int16_t complement = 0;  // 256 - sum, 1..256
};

// Covers image[0 .. lastIndex]; a negative lastIndex covers nothing, and an index past the
// image is clamped to its last byte so nothing outside it is read.
Sum of(std::span<const std::uint8_t> image, int lastIndex) noexcept;

// The byte stored after the sum: the complement, with 256 stored as 0 — the only byte
// that keeps the covered bytes plus the stored complement a multiple of 256.
std::uint8_t complementByte(const Sum& c) noexcept;

}  // namespace checksum
