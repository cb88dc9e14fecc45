// SPDX-License-Identifier: MIT
#include "core/image1602.h"

#include <algorithm>
#include <span>

#include "core/checksum.h"

namespace image1602 {

namespace {

using config::Stored;

constexpr std::size_t MessagesEnd = 96;
constexpr std::int16_t LastSummed = 106;

std::uint8_t plain(int position) {
    return static_cast<std::uint8_t>(position);
}
std::uint8_t plusOne(int position) {
    return static_cast<std::uint8_t>(position + 1);
}
std::uint8_t baudCode(int position) {
    return BaudCodes.at(static_cast<std::size_t>(position));
}
std::uint8_t formatCode(int position) {
    return FormatCodes.at(static_cast<std::size_t>(position));
}
QString startItem(int position) {
    return position == 0 ? QStringLiteral("None") : QStringLiteral("Message %1").arg(position);
}

int& address(Choices& c) {
    return c.address;
}
int& baud(Choices& c) {
    return c.baud;
}
int& dataFormat(Choices& c) {
    return c.dataFormat;
}
template <std::size_t I>
int& width(Choices& c) {
    return c.width[I];
}
template <std::size_t I>
int& decimalPoint(Choices& c) {
    return c.decimalPoint[I];
}
template <std::size_t I>
int& location(Choices& c) {
    return c.location[I];
}
template <std::size_t I>
int& startLine(Choices& c) {
    return c.startLine[I];
}

using config::baudItem;
using config::formatItem;
using config::numberFromOne;
using config::numberFromZero;

constexpr std::array<ListField, 11> Fields{{
    {"Saddr", Stored::PositionPlusOne, 98, 247, numberFromOne, plusOne, address, "Slave Address"},
    {"Cset", Stored::LineBaud, 96, 3, baudItem, baudCode, baud, "Baud Rate"},
    {"Cset", Stored::LineFormat, 97, 3, formatItem, formatCode, dataFormat, "Data Format"},
    {"Dwidth1", Stored::PositionPlusOne, 105, 5, numberFromOne, plusOne, width<0>,
     "Width of Field 1 ( LINE 0 )"},
    {"Dwidth2", Stored::PositionPlusOne, 106, 5, numberFromOne, plusOne, width<1>,
     "Width of Field 2 ( LINE 1 )"},
    {"DP1", Stored::Position, 99, 5, numberFromZero, plain, decimalPoint<0>,
     "Decimal Point of Field 1 ( LINE 0 )"},
    {"DP2", Stored::Position, 100, 5, numberFromZero, plain, decimalPoint<1>,
     "Decimal Point of Field 2 ( LINE 1 )"},
    {"SP1", Stored::Position, 101, 14, numberFromZero, plain, location<0>,
     "Location of Field 1 ( LINE 0 )"},
    {"SP2", Stored::Position, 102, 14, numberFromZero, plain, location<1>,
     "Location of Field 2 ( LINE 1 )"},
    {"Start1", Stored::Position, 103, 7, startItem, plain, startLine<0>, "Startup Screen LINE 0"},
    {"Start2", Stored::Position, 104, 7, startItem, plain, startLine<1>, "Startup Screen LINE 1"},
}};

}  // namespace

std::span<const ListField> listFields() {
    return Fields;
}

QString messageKey(int k) {
    return QStringLiteral("UDT%1").arg(k + 1);
}

std::optional<QString> unselectedList(const Choices& c) {
    return config::firstUnselected(listFields(), c);
}

QByteArray messageBytes(const std::array<QString, MessageCount>& messages,
                        const codepage::CodePage& codePage) {
    QByteArray bytes;
    bytes.reserve(MessagesEnd);
    for (const QString& text : messages) {
        QByteArray one = codePage.fromUnicode(text).left(MessageLength);
        one.append(MessageLength - one.size(), ' ');
        bytes.append(one);
    }
    return bytes;
}

std::optional<Built> build(const Choices& c, const codepage::CodePage& codePage) {
    if (unselectedList(c)) {
        return std::nullopt;
    }
    Built out;
    Image& image = out.image;
    out.msgBytes = messageBytes(c.messages, codePage);
    std::copy_n(out.msgBytes.constData(), MessagesEnd, image.begin());
    config::encode(listFields(), c, image);
    out.checksum = checksum::of(image, LastSummed);
    image[107] = static_cast<std::uint8_t>(out.checksum.sum);
    image[108] = checksum::complementByte(out.checksum);
    return out;
}

}  // namespace image1602
