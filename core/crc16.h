// SPDX-License-Identifier: MIT
#pragma once

// CRC-16/MODBUS over plain bytes: reflected polynomial 0xA001, initial value 0xFFFF, no
// final XOR. Shared by the main window's requests and the virtual module's replies.

#include <cstdint>
#include <span>
#include <vector>

namespace crc16 {

std::uint16_t modbus(std::span<const std::uint8_t> bytes) noexcept;

// The frame as it goes on the line: body, then its CRC, low byte first. Every request the
// program sends is closed here, so the byte order is decided once.
std::vector<std::uint8_t> closed(std::span<const std::uint8_t> body);

// True when the two bytes after data are its CRC, low byte first.
bool matches(std::span<const std::uint8_t> data, std::uint8_t lo, std::uint8_t hi) noexcept;

}  // namespace crc16
