// SPDX-License-Identifier: MIT
#pragma once

// CRC-16/MODBUS worked examples, one table for every test that closes or checks a frame:
// the bytes covered and the two CRC bytes that close them, low byte first.

#include <QByteArray>

#include <array>
#include <cstdint>

namespace testsupport {

struct CrcExample {
    const char* name;
    QByteArray body;
    std::uint8_t lo;
    std::uint8_t hi;
};

inline const std::array<CrcExample, 6> crcExamples{{
    {"04 request", QByteArray::fromHex("010400000001"), 0x31, 0xCA},
    {"05 request", QByteArray::fromHex("01050000FF00"), 0x8C, 0x3A},
    {"06 request, high byte below 16", QByteArray::fromHex("010600000001"), 0x48, 0x0A},
    {"check string", QByteArray("123456789"), 0x37, 0x4B},
    {"nothing", QByteArray(), 0xFF, 0xFF},
    {"ABCD message", QByteArray::fromHex("01100000000204") + "ABCD", 0x76, 0x84},
}};

}  // namespace testsupport
