// SPDX-License-Identifier: MIT
#pragma once

// The two configuration images the main program uploads raw (not as Modbus frames), each
// closed by an additive checksum and its complement to 256: decoded, checked field by
// field, and told in words for the log.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/lineformat.h"

namespace korvo {

inline constexpr std::size_t kImage1602Size = 110;  // checksum at 107, complement at 108
inline constexpr std::size_t kUpload2004Size = 23;  // 22 image bytes and a trailing 0

struct DataField {
    int location = 0;  // column of the first digit
    int width = 1;
    int decimals = 0;  // digits after the decimal point
};

struct Config1602 {
    int address = 1;
    LineFormat line;
    std::array<std::array<std::uint8_t, 16>, 6> messages{};
    std::array<DataField, 2> fields{};
    std::array<int, 2> startScreen{};  // per line: 0 none, 1..6 a message
};

struct Config2004 {
    int address = 1;
    LineFormat line;
    std::uint8_t ioDirections = 0;     // bit n-1 set: header pin n is an output
    std::array<int, 4> startScreen{};  // per line: 0 none, 1..20 a message
    std::array<DataField, 4> fields{};
};

// A decoded image, or why it was refused.
template <class Config>
struct Decoded {
    std::optional<Config> config;
    std::string reason;
};

// True when image[sumAt] is the sum of image[0 .. sumAt-1] modulo 256 and image[sumAt+1]
// is its complement to 256; a complement of 256 travels as 0.
bool checksumHolds(std::span<const std::uint8_t> image, std::size_t sumAt) noexcept;

Decoded<Config1602> decode1602(std::span<const std::uint8_t> upload);
Decoded<Config2004> decode2004(std::span<const std::uint8_t> upload);

// One line per group of fields.
std::vector<std::string> describe(const Config1602& c);
std::vector<std::string> describe(const Config2004& c);

}  // namespace korvo
