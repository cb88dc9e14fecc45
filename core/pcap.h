// SPDX-License-Identifier: MIT
#pragma once

// The classic pcap file format (microsecond timestamps, little-endian), as bytes: a capture
// of serial frames that Wireshark and tshark read. Each packet is one frame as it was on
// the line, address to CRC, in the link type USER0 (147); Wireshark decodes it as Modbus
// RTU once that link type is mapped to its "mbrtu" dissector (see docs/bus-monitor.md).

#include <QByteArray>

#include <cstdint>
#include <span>

namespace pcap {

inline constexpr std::uint32_t LinkTypeUser0 = 147;
// Longer frames than any Modbus RTU frame are cut to this in the file.
inline constexpr std::uint32_t SnapLength = 65535;

// The 24-byte file header.
QByteArray fileHeader(std::uint32_t linkType = LinkTypeUser0);

// One packet record: its 16-byte header and the bytes. epochUs is microseconds since
// 1970-01-01 UTC.
QByteArray record(std::int64_t epochUs, std::span<const std::uint8_t> bytes);

}  // namespace pcap
