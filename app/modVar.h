// SPDX-License-Identifier: MIT
#pragma once

// Globals shared between the windows and the protocol routines. The program runs on one
// thread, so they need no locking; each is written by one routine and read right after.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace modVar {
inline constexpr std::size_t TxFrameSize = 41;
inline constexpr std::size_t CfgData2004Size = 51;
}  // namespace modVar

// Every Modbus request is built here from index 0 and closed with its CRC.
inline std::array<std::uint8_t, modVar::TxFrameSize> TxFrame{};

// Two upper-case hexadecimal digits each: the bytes of the last CRC-16 computed.
inline QString CRCLo;
inline QString CRCHi;

// Every byte last read from the Modbus port, indexed from 0.
inline QByteArray RxData;

// Ticks of Timer1 since the current exchange started waiting.
inline std::int16_t TickCount = 0;

// Results of the last configuration checksum: sum modulo 256 and 256 minus it.
inline std::int16_t ChkSum = 0;
inline std::int16_t ChkComp = 0;

// The Modbus link as last chosen with the connect button, kept as the text stored in
// modlcd.ini; the configuration windows open the same port number.
inline QString PortNumber;
inline QString PortSettings;
inline QString SlaveAddress;

// The 20x4 configuration image; only its head is ever sent.
inline std::array<std::uint8_t, modVar::CfgData2004Size> CfgData2004{};
