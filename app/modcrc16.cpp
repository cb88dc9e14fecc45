// SPDX-License-Identifier: MIT
#include "app/modcrc16.h"

#include <algorithm>
#include <span>

#include "app/modVar.h"
#include "core/crc16.h"
#include "core/hex.h"
#include "core/modbus.h"

void CalcCRC16(const std::int16_t& byteCount) {
    const auto count =
        static_cast<std::size_t>(std::clamp<int>(byteCount, 0, static_cast<int>(TxFrame.size())));
    const std::uint16_t crc = crc16::modbus(std::span(TxFrame).first(count));
    CRCLo = hex::byte(static_cast<std::uint8_t>(crc & 0xFFU));
    CRCHi = hex::byte(static_cast<std::uint8_t>(crc >> 8U));
}

bool CheckRxCRC(const std::int16_t& lastDataIndex) {
    if (lastDataIndex < 0 || lastDataIndex > static_cast<int>(TxFrame.size()) - 1) {
        return false;
    }
    const auto last = static_cast<qsizetype>(lastDataIndex);
    if (RxData.size() < last + 3) {
        return false;
    }
    for (qsizetype i = 0; i <= last; ++i) {
        TxFrame[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(RxData[i]);
    }
    const std::int16_t count = static_cast<std::int16_t>(lastDataIndex + 1);
    CalcCRC16(count);
    // The verdict is the one the tested classification gives; the globals above only keep
    // showing what the check worked on.
    const std::span reply(reinterpret_cast<const std::uint8_t*>(RxData.constData()),
                          static_cast<std::size_t>(RxData.size()));
    modbus::ExchangeShape shape{};
    shape.lastDataIndex = lastDataIndex;
    return modbus::outcomeOfReply(reply, shape) == modbus::Outcome::Good;
}
