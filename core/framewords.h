// SPDX-License-Identifier: MIT
#pragma once

// Any frame the program puts on or takes off a line or hears on one, put into words for the
// traffic log and the bus monitor: Modbus functions 01..06, 15 and 16, their replies and
// echoes, exception replies, CRC errors, cut or overlong bursts, and the two configuration
// images. Plain functions over bytes.

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

#include "core/codepage.h"

namespace framewords {

// What a line carries: Modbus traffic from the main window, or a configuration window's
// upload of one model's image.
enum class Line { Modbus, Upload1602, Upload2004 };
enum class Direction { Tx, Rx };

// "02 illegal data address" for the standard codes; the code alone ("07") for others.
QString exceptionName(std::uint8_t code);

// The code of a well-formed exception reply at the start of bytes: address, function with
// its top bit set, code, and a correct CRC over those three.
std::optional<std::uint8_t> exceptionCode(std::span<const std::uint8_t> bytes);

// "04 read input register 0x0000 ×1", "16 write registers 0x0000 ×2: \"HI  \"", ...; the
// text of a function 16 request read in the code page it was sent in.
QString request(std::span<const std::uint8_t> bytes, const codepage::CodePage& codePage);
// "reply: 0x000A (10)", "exception 02: illegal data address", "CRC error: got 39 36,
// expected 39 37", "incomplete 04 reply: 5 of 7 bytes", ...
QString reply(std::span<const std::uint8_t> bytes);
// "16x2 configuration image, 110 bytes, checksum 0x5B ok: address 5, 19200 8N2"
QString image1602(std::span<const std::uint8_t> bytes);
QString image2004(std::span<const std::uint8_t> bytes);

// The words for one frame seen on a line in one direction.
QString describe(std::span<const std::uint8_t> bytes, Line line, Direction direction,
                 const codepage::CodePage& codePage);

}  // namespace framewords
