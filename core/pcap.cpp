// SPDX-License-Identifier: MIT
#include "core/pcap.h"

#include <algorithm>

namespace pcap {

namespace {

void put32(QByteArray& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFFU));
    }
}

void put16(QByteArray& out, std::uint16_t v) {
    out.append(static_cast<char>(v & 0xFFU));
    out.append(static_cast<char>(v >> 8U));
}

}  // namespace

QByteArray fileHeader(std::uint32_t linkType) {
    QByteArray out;
    put32(out, 0xA1B2C3D4);  // microsecond timestamps, written little-endian
    put16(out, 2);
    put16(out, 4);
    put32(out, 0);  // time zone: UTC
    put32(out, 0);  // accuracy of the timestamps: not stated
    put32(out, SnapLength);
    put32(out, linkType);
    return out;
}

QByteArray record(std::int64_t epochUs, std::span<const std::uint8_t> bytes) {
    epochUs = std::max<std::int64_t>(epochUs, 0);
    const auto kept = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), SnapLength));
    QByteArray out;
    out.reserve(16 + static_cast<qsizetype>(kept));
    put32(out, static_cast<std::uint32_t>(epochUs / 1'000'000));
    put32(out, static_cast<std::uint32_t>(epochUs % 1'000'000));
    put32(out, kept);
    put32(out, static_cast<std::uint32_t>(bytes.size()));
    out.append(reinterpret_cast<const char*>(bytes.data()), kept);
    return out;
}

}  // namespace pcap
