// SPDX-License-Identifier: MIT
#include "core/framewords.h"

#include <QByteArray>
#include <QStringList>

#include <array>

#include "core/checksum.h"
#include "core/codepage.h"
#include "core/configfield.h"
#include "core/crc16.h"
#include "core/hex.h"
#include "core/image1602.h"
#include "core/image2004.h"

namespace framewords {

namespace {

using Bytes = std::span<const std::uint8_t>;

QString hex2(unsigned v) {
    return hex::byte(static_cast<std::uint8_t>(v));
}

QString hex4(unsigned v) {
    return QStringLiteral("0x") + hex::number(v, 4);
}

unsigned word(Bytes b, std::size_t at) {
    return static_cast<unsigned>(b[at]) * 256U + b[at + 1];
}

QString plural(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// The frame length its first bytes announce, or nothing for a function this program
// neither sends nor expects back.
std::optional<std::size_t> announcedLength(Bytes b, Direction d) {
    const std::uint8_t function = b[1];
    if ((function & 0x80) != 0) {
        return 5;
    }
    switch (function) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
            if (d == Direction::Tx) {
                return 8;
            }
            return b.size() >= 3 ? std::optional<std::size_t>(5U + b[2]) : std::nullopt;
        case 0x05:
        case 0x06:
            return 8;
        case 0x0F:
        case 0x10:
            if (d == Direction::Rx) {
                return 8;
            }
            return b.size() >= 7 ? std::optional<std::size_t>(9U + b[6]) : std::nullopt;
        default:
            return std::nullopt;
    }
}

QString coilValue(unsigned v) {
    return v == 0xFF00 ? QStringLiteral("ON")
           : v == 0    ? QStringLiteral("OFF")
                       : QStringLiteral("value %1 (neither ON nor OFF)").arg(hex4(v));
}

QString registerValue(unsigned v) {
    return QStringLiteral("%1 (%2)").arg(hex4(v)).arg(v);
}

// The words for a frame of exactly its announced length with a correct CRC.
QString body(Bytes f, Direction d, const codepage::CodePage& codePage) {
    const std::uint8_t function = f[1];
    if ((function & 0x80) != 0) {
        const QString name = exceptionName(f[2]);
        return QStringLiteral("exception ") +
               (name.size() > 2 ? name.left(2) + u':' + name.mid(2) : name);
    }
    const QString start = hex4(word(f, 2));
    if (d == Direction::Tx) {
        switch (function) {
            case 0x01:
                return QStringLiteral("01 read coil %1 ×%2").arg(start).arg(word(f, 4));
            case 0x02:
                return QStringLiteral("02 read discrete input %1 ×%2").arg(start).arg(word(f, 4));
            case 0x03:
                return QStringLiteral("03 read holding register %1 ×%2").arg(start).arg(word(f, 4));
            case 0x04:
                return QStringLiteral("04 read input register %1 ×%2").arg(start).arg(word(f, 4));
            case 0x0F: {
                const unsigned quantity = word(f, 4);
                const std::uint8_t count = f[6];
                QString text = QStringLiteral("15 write coils %1 ×%2: %3")
                                   .arg(start)
                                   .arg(quantity)
                                   .arg(hex::line(f.subspan(7, count)).trimmed());
                if (count != (quantity + 7) / 8) {
                    text += QStringLiteral(" (byte count %1 does not fit the quantity)").arg(count);
                }
                return text;
            }
            case 0x05:
                return QStringLiteral("05 write coil %1 %2").arg(start, coilValue(word(f, 4)));
            case 0x06:
                return QStringLiteral("06 write register %1 = %2")
                    .arg(start, registerValue(word(f, 4)));
            default: {
                const unsigned quantity = word(f, 4);
                const std::uint8_t count = f[6];
                QString text = QStringLiteral("16 write registers %1 ×%2: \"%3\"")
                                   .arg(start)
                                   .arg(quantity)
                                   .arg(codePage.toUnicode(QByteArrayView(
                                       reinterpret_cast<const char*>(f.data()) + 7, count)));
                if (count != quantity * 2) {
                    text += QStringLiteral(" (byte count %1 is not twice the quantity)").arg(count);
                }
                return text;
            }
        }
    }
    switch (function) {
        case 0x01:
        case 0x02: {
            const std::uint8_t count = f[2];
            if (count == 0) {
                return QStringLiteral("reply: byte count 0");
            }
            return QStringLiteral("reply: bits ") + hex::line(f.subspan(3, count)).trimmed();
        }
        case 0x03:
        case 0x04: {
            const std::uint8_t count = f[2];
            if (count == 0 || count % 2 != 0) {
                return QStringLiteral("reply: byte count %1 is not a whole number of registers")
                    .arg(count);
            }
            QStringList values;
            for (std::size_t i = 0; i < count; i += 2) {
                values << registerValue(word(f, 3 + i));
            }
            return QStringLiteral("reply: ") + values.join(QStringLiteral(", "));
        }
        case 0x05:
            return QStringLiteral("reply: coil %1 %2").arg(start, coilValue(word(f, 4)));
        case 0x06:
            return QStringLiteral("reply: register %1 = %2").arg(start, registerValue(word(f, 4)));
        case 0x0F:
            return QStringLiteral("reply: wrote coils %1 ×%2").arg(start).arg(word(f, 4));
        default:
            return QStringLiteral("reply: wrote %1 ×%2").arg(start).arg(word(f, 4));
    }
}

QString modbusFrame(Bytes b, Direction d, const codepage::CodePage& codePage) {
    if (b.size() < 4) {
        return plural(b.size(), "byte", "bytes") + QStringLiteral(": too short for a frame");
    }
    const auto length = announcedLength(b, d);
    if (!length) {
        return QStringLiteral("function %1, %2: not one of 01..06, 15, 16")
            .arg(hex2(b[1]), plural(b.size(), "byte", "bytes"));
    }
    if (b.size() < *length) {
        // Functions 0x0F and 0x10 go by their decimal names, as on the window's frame.
        const QString function = b[1] == 0x10   ? QStringLiteral("16")
                                 : b[1] == 0x0F ? QStringLiteral("15")
                                                : hex2(b[1]);
        const QString what = (b[1] & 0x80) != 0   ? QStringLiteral("exception reply")
                             : d == Direction::Tx ? function + QStringLiteral(" request")
                                                  : function + QStringLiteral(" reply");
        return QStringLiteral("incomplete %1: %2 of %3 bytes").arg(what).arg(b.size()).arg(*length);
    }
    const Bytes frame = b.first(*length);
    const Bytes data = frame.first(*length - 2);
    const std::uint8_t lo = frame[*length - 2];
    const std::uint8_t hi = frame[*length - 1];
    QString text;
    if (!crc16::matches(data, lo, hi)) {
        const std::uint16_t crc = crc16::modbus(data);
        text = QStringLiteral("CRC error: got %1 %2, expected %3 %4")
                   .arg(hex2(lo), hex2(hi), hex2(crc & 0xFFU), hex2(crc >> 8U));
    } else {
        text = body(frame, d, codePage);
        if (frame[0] == 0 && d == Direction::Tx) {
            text += QStringLiteral(", broadcast");
        }
    }
    if (b.size() > *length) {
        text += QStringLiteral(", then %1")
                    .arg(plural(b.size() - *length, "extra byte", "extra bytes"));
    }
    return text;
}

// The item of the list stored as `stored` (and under key, when given) whose code is the
// image's byte there: read through the same table the image was built from.
template <typename Choices>
QString itemOf(std::span<const config::ListField<Choices>> fields, config::Stored stored,
               const char* key, Bytes image, const char* what) {
    for (const auto& f : fields) {
        if (f.stored != stored || (key != nullptr && QLatin1String(f.key) != QLatin1String(key))) {
            continue;
        }
        const std::uint8_t code = image[static_cast<std::size_t>(f.offset)];
        for (int p = 0; p < f.count; ++p) {
            if (f.code(p) == code) {
                return f.item(p);
            }
        }
        return QStringLiteral("%1 code %2 unknown").arg(QLatin1String(what)).arg(code);
    }
    return {};
}

// "address 5, 19200 8N2"
template <typename Choices>
QString settingsOf(std::span<const config::ListField<Choices>> fields, Bytes image) {
    using config::Stored;
    return QStringLiteral("address %1, %2 %3")
        .arg(itemOf(fields, Stored::PositionPlusOne, "Saddr", image, "address"),
             itemOf(fields, Stored::LineBaud, nullptr, image, "baud"),
             itemOf(fields, Stored::LineFormat, nullptr, image, "format"));
}

// "checksum 0x5B ok" when the sum byte and its complement close the covered bytes.
QString checksumWords(Bytes image, int lastSummed) {
    const checksum::Sum c = checksum::of(image, lastSummed);
    const auto at = static_cast<std::size_t>(lastSummed) + 1;
    const std::uint8_t sum = image[at];
    const std::uint8_t complement = image[at + 1];
    const bool ok =
        sum == static_cast<std::uint8_t>(c.sum) && complement == checksum::complementByte(c);
    QString text = QStringLiteral("checksum 0x%1 ").arg(hex2(sum));
    if (ok) {
        return text + QStringLiteral("ok");
    }
    return text + QStringLiteral("wrong (expected 0x%1 0x%2)")
                      .arg(hex2(static_cast<unsigned>(c.sum)), hex2(checksum::complementByte(c)));
}

QString imageWords(Bytes b, const char* model, std::size_t size, int lastSummed,
                   const QString& settings) {
    QString text = QStringLiteral("%1 configuration image").arg(QLatin1String(model));
    if (b.size() != size) {
        return text + QStringLiteral(" of %1 (%2 expected)")
                          .arg(plural(b.size(), "byte", "bytes"))
                          .arg(size);
    }
    text += QStringLiteral(", %1 bytes, ").arg(size) + checksumWords(b, lastSummed);
    text += QStringLiteral(": ") + settings;
    if (b[size - 1] != 0) {
        text += QStringLiteral(", last byte %1 instead of 00").arg(hex2(b[size - 1]));
    }
    return text;
}

}  // namespace

QString exceptionName(std::uint8_t code) {
    static constexpr std::array<const char*, 12> names{nullptr,
                                                       "illegal function",
                                                       "illegal data address",
                                                       "illegal data value",
                                                       "server device failure",
                                                       "acknowledge",
                                                       "server device busy",
                                                       nullptr,
                                                       "memory parity error",
                                                       nullptr,
                                                       "gateway path unavailable",
                                                       "gateway target device failed to respond"};
    QString text = hex2(code);
    if (code < names.size() && names[code] != nullptr) {
        text += u' ' + QLatin1String(names[code]);
    }
    return text;
}

std::optional<std::uint8_t> exceptionCode(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 5 || (bytes[1] & 0x80) == 0 ||
        !crc16::matches(bytes.first(3), bytes[3], bytes[4])) {
        return std::nullopt;
    }
    return bytes[2];
}

QString request(std::span<const std::uint8_t> bytes, const codepage::CodePage& codePage) {
    return modbusFrame(bytes, Direction::Tx, codePage);
}

QString reply(std::span<const std::uint8_t> bytes) {
    // A reply carries no text, whatever the code page.
    return modbusFrame(bytes, Direction::Rx, codepage::windows1252());
}

QString image1602(std::span<const std::uint8_t> bytes) {
    const QString settings =
        bytes.size() == image1602::Size ? settingsOf(image1602::listFields(), bytes) : QString();
    return imageWords(bytes, "16x2", image1602::Size, 106, settings);
}

QString image2004(std::span<const std::uint8_t> bytes) {
    const QString settings = bytes.size() == image2004::UploadSize
                                 ? settingsOf(image2004::listFields(), bytes)
                                 : QString();
    return imageWords(bytes, "20x4", image2004::UploadSize, image2004::Length - 3, settings);
}

QString describe(std::span<const std::uint8_t> bytes, Line line, Direction direction,
                 const codepage::CodePage& codePage) {
    if (direction == Direction::Tx && line == Line::Upload1602) {
        return image1602(bytes);
    }
    if (direction == Direction::Tx && line == Line::Upload2004) {
        return image2004(bytes);
    }
    return modbusFrame(bytes, direction, codePage);
}

}  // namespace framewords
