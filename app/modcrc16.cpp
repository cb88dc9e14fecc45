#include "app/modcrc16.h"

#include <algorithm>
#include <span>

#include "app/modVar.h"
#include "core/crc16.h"

namespace {

QString hexByte(unsigned value) {
    return QStringLiteral("%1").arg(value & 0xFFU, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

void CalcCRC16(const std::int16_t& byteCount) {
    const auto count =
        static_cast<std::size_t>(std::clamp<int>(byteCount, 0, static_cast<int>(TxFrame.size())));
    const std::uint16_t crc = crc16::modbus(std::span(TxFrame).first(count));
    CRCLo = hexByte(crc & 0xFFU);
    CRCHi = hexByte(crc >> 8U);
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
    const QString rxLo = hexByte(static_cast<std::uint8_t>(RxData[last + 1]));
    const QString rxHi = hexByte(static_cast<std::uint8_t>(RxData[last + 2]));
    return rxLo == CRCLo && rxHi == CRCHi;
}
