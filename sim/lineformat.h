// SPDX-License-Identifier: MIT
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

// Every configuration upload travels at 9600 8N1, whatever the module's own settings.
inline constexpr LineFormat kUploadLine{};

// The settings a master has put on the line, as far as the tty lets them be seen.
struct SeenLine {
    int baud = 9600;
    int stopBits = 1;
    // Unknown on a Linux pseudo-terminal, which clears the parity flag whatever is set.
    std::optional<Parity> parity;

    bool operator==(const SeenLine&) const = default;
};

// True when characters sent at the master's settings reach a receiver set to `receiver`
// whole: the same speed and stop bits, and the same parity where it can be seen.
bool agrees(const SeenLine& master, const LineFormat& receiver) noexcept;

// Why a burst from a master at `master` is noise to a module at `module`, or nothing when the
// module hears it. A configuration upload is heard at kUploadLine only, whatever the module's
// own settings; every other burst only at the module's settings.
std::optional<std::string> garbling(const SeenLine& master, const LineFormat& module,
                                    bool uploadShaped);

// "8N1", "8N2" or "8E1".
std::string formatName(const LineFormat& f);

// "9600 8N1".
std::string describe(const LineFormat& f);

// "9600 8N1"; the parity is "?" when it cannot be seen ("9600 8?1").
std::string describe(const SeenLine& s);

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
