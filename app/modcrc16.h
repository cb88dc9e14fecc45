// SPDX-License-Identifier: MIT
#pragma once

// The CRC routines of the main window, working on the shared TxFrame and RxData and
// leaving the result as two hexadecimal texts in CRCLo and CRCHi.

#include <cstdint>

// CRC over TxFrame[0 .. byteCount-1]. A count outside 0..41 is clamped to that range so
// nothing outside TxFrame is ever read.
void CalcCRC16(const std::int16_t& byteCount);

// Copies RxData[0 .. lastDataIndex] over TxFrame and checks that the two following reply
// bytes are their CRC, low byte first. False when RxData is too short or the index lies
// outside 0..40.
bool CheckRxCRC(const std::int16_t& lastDataIndex);
