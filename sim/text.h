// SPDX-License-Identifier: MIT
#pragma once

// How bytes read in the log: frames in hexadecimal, display text in quotes.

#include <cstdint>
#include <span>
#include <string>

namespace korvo {

// "01 04 00 00" (upper case, single spaces, no trailing space).
std::string hex(std::span<const std::uint8_t> bytes);

// Two upper-case hexadecimal digits.
std::string hexByte(std::uint8_t b);

// The bytes in double quotes; printable ASCII as itself, '"' and '\' escaped, anything else
// as \xNN, so a line of the log never carries control characters.
std::string quoted(std::span<const std::uint8_t> bytes);

}  // namespace korvo
