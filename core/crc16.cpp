// SPDX-License-Identifier: MIT
#include "core/crc16.h"

namespace crc16 {

std::uint16_t modbus(std::span<const std::uint8_t> bytes) noexcept {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            const bool lsb = (crc & 1U) != 0;
            crc >>= 1;
            if (lsb) {
                crc ^= 0xA001;
            }
        }
    }
    return crc;
}

std::vector<std::uint8_t> closed(std::span<const std::uint8_t> body) {
    const std::uint16_t crc = modbus(body);
    std::vector<std::uint8_t> frame(body.begin(), body.end());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFFU));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8U));
    return frame;
}

bool matches(std::span<const std::uint8_t> data, std::uint8_t lo, std::uint8_t hi) noexcept {
    const std::uint16_t crc = modbus(data);
    return lo == (crc & 0xFF) && hi == (crc >> 8);
}

}  // namespace crc16
