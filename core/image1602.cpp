#include "core/image1602.h"

#include <algorithm>
#include <span>

#include "core/checksum.h"

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
    return BaudCodes1602.at(static_cast<std::size_t>(position));
}
std::uint8_t formatCode(int position) {
    return FormatCodes1602.at(static_cast<std::size_t>(position));
}
QString startItem(int position) {
    return position == 0 ? QStringLiteral("None") : QStringLiteral("Message %1").arg(position);
}

int& address(Choices1602& c) {
    return c.address;
}
int& baud(Choices1602& c) {
    return c.baud;
}
int& dataFormat(Choices1602& c) {
    return c.dataFormat;
}
template <std::size_t I>
int& width(Choices1602& c) {
    return c.width[I];
}
template <std::size_t I>
int& decimalPoint(Choices1602& c) {
    return c.decimalPoint[I];
}
template <std::size_t I>
int& location(Choices1602& c) {
    return c.location[I];
}
template <std::size_t I>
int& startLine(Choices1602& c) {
    return c.startLine[I];
}

using config::baudItem;
using config::formatItem;
using config::numberFromOne;
using config::numberFromZero;

constexpr std::array<ListField1602, 11> Fields{{
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

std::span<const ListField1602> listFields1602() {
    return Fields;
}

QString messageKey1602(int k) {
    return QStringLiteral("UDT%1").arg(k + 1);
}

std::optional<QString> unselectedList1602(const Choices1602& c) {
    return config::firstUnselected(listFields1602(), c);
}

QByteArray messageBytes1602(const std::array<QString, MessageCount1602>& messages,
                            const codepage::CodePage& codePage) {
    QByteArray bytes;
    bytes.reserve(MessagesEnd);
    for (const QString& text : messages) {
        QByteArray one = codePage.fromUnicode(text).left(MessageLength1602);
        one.append(MessageLength1602 - one.size(), ' ');
        bytes.append(one);
    }
    return bytes;
}

std::optional<Built1602> buildImage1602(const Choices1602& c, const codepage::CodePage& codePage) {
    if (unselectedList1602(c)) {
        return std::nullopt;
    }
    Built1602 out;
    CfgImage1602& image = out.image;
    out.msgBytes = messageBytes1602(c.messages, codePage);
    std::copy_n(out.msgBytes.constData(), MessagesEnd, image.begin());
    config::encode(listFields1602(), c, image);
    out.checksum = checksumOf(image, LastSummed);
    image[107] = static_cast<std::uint8_t>(out.checksum.sum);
    image[108] = complementByte(out.checksum);
    return out;
}
