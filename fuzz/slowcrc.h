// SPDX-License-Identifier: MIT
#pragma once

// CRC-16/MODBUS worked out bit by bit, apart from the program's own code, so that a fuzz
// target can check the program's verdicts against an independent reading.

#include <cstdint>
#include <span>

namespace fuzz {

inline std::uint16_t slowCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1U) ^ 0xA001U)
                                  : static_cast<std::uint16_t>(crc >> 1U);
        }
    }
    return crc;
}

}  // namespace fuzz
