#include "core/image1602.h"

#include <algorithm>
#include <span>

#include "core/checksum.h"
#include "core/cp1252.h"

namespace {

constexpr std::size_t MessagesEnd = 96;
constexpr std::int16_t LastSummed = 106;

bool within(int position, int count) {
    return position >= 0 && position < count;
}

std::uint8_t byteOf(int value) {
    return static_cast<std::uint8_t>(value);
}

}  // namespace

std::optional<QString> unselectedList1602(const Choices1602& c) {
    using namespace list1602;
    struct Check {
        int position;
        int count;
        const char* caption;
    };
    const std::array<Check, 11> checks{{
        {c.baud, Bauds, "Baud Rate"},
        {c.dataFormat, DataFormats, "Data Format"},
        {c.address, Addresses, "Slave Address"},
        {c.decimalPoint[0], DecimalPoints, "Decimal Point of Field 1 ( LINE 0 )"},
        {c.decimalPoint[1], DecimalPoints, "Decimal Point of Field 2 ( LINE 1 )"},
        {c.location[0], Locations, "Location of Field 1 ( LINE 0 )"},
        {c.location[1], Locations, "Location of Field 2 ( LINE 1 )"},
        {c.startLine[0], StartItems, "Startup Screen LINE 0"},
        {c.startLine[1], StartItems, "Startup Screen LINE 1"},
        {c.width[0], Widths, "Width of Field 1 ( LINE 0 )"},
        {c.width[1], Widths, "Width of Field 2 ( LINE 1 )"},
    }};
    for (const Check& check : checks) {
        if (!within(check.position, check.count)) {
            return QString::fromLatin1(check.caption);
        }
    }
    return std::nullopt;
}

QByteArray messageBytes1602(const std::array<QString, MessageCount1602>& messages) {
    QByteArray bytes;
    bytes.reserve(MessagesEnd);
    for (const QString& text : messages) {
        QByteArray one = cp1252::fromUnicode(text).left(MessageLength1602);
        one.append(MessageLength1602 - one.size(), ' ');
        bytes.append(one);
    }
    return bytes;
}

std::optional<Built1602> buildImage1602(const Choices1602& c) {
    if (unselectedList1602(c)) {
        return std::nullopt;
    }
    Built1602 out;
    CfgImage1602& image = out.image;
    out.msgBytes = messageBytes1602(c.messages);
    std::copy_n(out.msgBytes.constData(), MessagesEnd, image.begin());

    image[96] = BaudCodes1602[static_cast<std::size_t>(c.baud)];
    image[97] = FormatCodes1602[static_cast<std::size_t>(c.dataFormat)];
    image[98] = byteOf(c.address + 1);
    image[99] = byteOf(c.decimalPoint[0]);
    image[100] = byteOf(c.decimalPoint[1]);
    image[101] = byteOf(c.location[0]);
    image[102] = byteOf(c.location[1]);
    image[103] = byteOf(c.startLine[0]);
    image[104] = byteOf(c.startLine[1]);
    image[105] = byteOf(c.width[0] + 1);
    image[106] = byteOf(c.width[1] + 1);

    out.checksum = checksumOf(image, LastSummed);
    image[107] = byteOf(out.checksum.sum);
    image[108] = complementByte(out.checksum);
    return out;
}
