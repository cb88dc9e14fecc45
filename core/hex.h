// SPDX-License-Identifier: MIT
#pragma once

// Hexadecimal text, the one way the program and korvo-sim write bytes and numbers in
// hexadecimal: upper-case digits, zero-padded.

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace hex {

inline constexpr std::array<char, 16> Digits{'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

// The two digits of a byte: {'0', 'A'} for 10.
constexpr std::array<char, 2> byteDigits(std::uint8_t b) {
    return {Digits[b >> 4U], Digits[b & 0x0FU]};
}

// At least minDigits digits, more when the value needs them: number(10, 1) is "A",
// number(10, 4) is "000A".
QString number(unsigned value, int minDigits);

// Two digits: "0A".
QString byte(std::uint8_t b);

// Two digits and one space per byte, as the Communication Monitor shows a frame:
// "01 04 00 ".
QString line(std::span<const std::uint8_t> bytes);

}  // namespace hex
