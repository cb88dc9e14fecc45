// SPDX-License-Identifier: MIT
#include "core/cp1252.h"

#include "core/codepage.h"

#include <array>
#include <cstdint>

namespace {

// Bytes 0x80..0x9F are where Windows-1252 departs from Latin-1. The five bytes it leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control of the same value, so
// a file holding them comes back byte for byte after a round trip.
constexpr std::array<char16_t, 32> high = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char unmappable = '?';

char toByte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (std::size_t i = 0; i < high.size(); ++i) {
        if (high[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return unmappable;
}

}  // namespace

namespace cp1252 {

QByteArray fromUnicode(QStringView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            // One character outside the BMP: one '?', not two.
            ++i;
            out.append(unmappable);
        } else if (c.isSurrogate()) {
            out.append(unmappable);
        } else {
            out.append(toByte(c.unicode()));
        }
    }
    return out;
}

QString toUnicode(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char b : bytes) {
        const auto u = static_cast<std::uint8_t>(b);
        *dst++ = (u >= 0x80 && u < 0xA0) ? QChar(high[u - 0x80]) : QChar(u);
    }
    return out;
}

}  // namespace cp1252

namespace codepage {

CodePage windows1252() {
    return {1252, cp1252::fromUnicode, cp1252::toUnicode};
}

}  // namespace codepage
