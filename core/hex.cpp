// SPDX-License-Identifier: MIT
#include "core/hex.h"

namespace hex {

QString number(unsigned value, int minDigits) {
    QString text;
    do {
        text.prepend(QLatin1Char(Digits[value & 0x0FU]));
        value >>= 4U;
    } while (value != 0);
    if (text.size() < minDigits) {
        text.prepend(QString(minDigits - text.size(), QLatin1Char('0')));
    }
    return text;
}

QString byte(std::uint8_t b) {
    const auto d = byteDigits(b);
    return QLatin1String(d.data(), 2);
}

QString line(std::span<const std::uint8_t> bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) * 3);
    for (const std::uint8_t b : bytes) {
        const auto d = byteDigits(b);
        text += QLatin1Char(d[0]);
        text += QLatin1Char(d[1]);
        text += QLatin1Char(' ');
    }
    return text;
}

}  // namespace hex
