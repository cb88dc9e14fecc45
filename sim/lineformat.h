#pragma once

// Line settings of the simulated module: speed and character format, and the character
// timing that RTU framing and reply pacing are derived from.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

enum class Parity { None, Even };

struct LineFormat {
    int baud = 9600;
    Parity parity = Parity::None;
    int stopBits = 1;  // always 8 data bits

    bool operator==(const LineFormat&) const = default;
};

// "8N1", "8N2" or "8E1".
std::string formatName(const LineFormat& f);

// "9600 8N1".
std::string describe(const LineFormat& f);

// Accepts the three formats the module knows; the baud rate is left alone.
std::optional<LineFormat> withFormat(LineFormat f, std::string_view name);

bool isSupportedBaud(int baud) noexcept;

// Start bit, 8 data bits, parity bit, stop bits.
int bitsPerChar(const LineFormat& f) noexcept;

std::chrono::microseconds charTime(const LineFormat& f) noexcept;

// The silence that ends a frame: 3.5 character times, but never below 1750 us, the fixed
// value the RTU standard prescribes above 19200 baud.
std::chrono::microseconds frameSilence(const LineFormat& f) noexcept;

}  // namespace korvo
