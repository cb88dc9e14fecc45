// SPDX-License-Identifier: MIT
#include "core/image2004.h"

#include <QByteArray>

#include <algorithm>

#include "core/checksum.h"

namespace image2004 {

namespace {

constexpr std::int16_t LastSummed = 19;

bool within(int position, int count) {
    return position >= 0 && position < count;
}

std::uint8_t byteOf(int value) {
    return static_cast<std::uint8_t>(value);
}

std::uint8_t codeOf(const std::array<std::uint8_t, 3>& codes, int position) {
    return within(position, static_cast<int>(codes.size()))
               ? codes[static_cast<std::size_t>(position)]
               : Unset;
}

}  // namespace

std::uint8_t baudCode(int position) {
    return codeOf(BaudCodes, position);
}

std::uint8_t formatCode(int position) {
    return codeOf(FormatCodes, position);
}

namespace {

using config::Stored;

std::uint8_t plain(int position) {
    return byteOf(position);
}
std::uint8_t plusOne(int position) {
    return byteOf(position + 1);
}
// Bit Pin of byte 3, set when the pin's list shows "OUT"; clear for "IN" and for no
// selection.
template <int Pin>
std::uint8_t ioBit(int position) {
    return position == 1 ? byteOf(1 << Pin) : 0;
}
QString startItem(int position) {
    return position == 0 ? QStringLiteral("None") : QStringLiteral("Message%1").arg(position);
}
QString directionItem(int position) {
    return position == 0 ? QStringLiteral("IN") : QStringLiteral("OUT");
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
int& io(Choices& c) {
    return c.io[I];
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
constexpr auto Width = Stored::PositionPlusOne;
constexpr auto Pos = Stored::Position;

constexpr std::array<ListField, 27> Fields{{
    {"Saddr", Stored::PositionPlusOne, 0, 247, numberFromOne, plusOne, address, "Slave Address"},
    {"Cset", Stored::LineBaud, 1, 3, baudItem, baudCode, baud, nullptr, "Baud Rate"},
    {"Cset", Stored::LineFormat, 2, 3, formatItem, formatCode, dataFormat, nullptr, "Data Format"},
    {"Dwidth1", Width, 8, 5, numberFromOne, plusOne, width<0>, "Width of Field 1 ( Line 0 )"},
    {"Dwidth2", Width, 9, 5, numberFromOne, plusOne, width<1>, "Width of Field 2 ( Line 1 )"},
    {"Dwidth3", Width, 10, 5, numberFromOne, plusOne, width<2>, "Width of Field 3 ( Line 2 )"},
    {"Dwidth4", Width, 11, 5, numberFromOne, plusOne, width<3>, "Width of Field 4 ( Line 3 )"},
    {"DP1", Pos, 12, 6, numberFromZero, plain, decimalPoint<0>,
     "Decimal Point of Field 1 ( Line 0 )"},
    {"DP2", Pos, 13, 6, numberFromZero, plain, decimalPoint<1>,
     "Decimal Point of Field 2 ( Line 1 )"},
    {"DP3", Pos, 14, 6, numberFromZero, plain, decimalPoint<2>,
     "Decimal Point of Field 3 ( Line 2 )"},
    {"DP4", Pos, 15, 6, numberFromZero, plain, decimalPoint<3>,
     "Decimal Point of Field 4 ( Line 3 )"},
    {"SP1", Pos, 16, 19, numberFromZero, plain, location<0>, "Location of Field 1 ( Line 0 )"},
    {"SP2", Pos, 17, 19, numberFromZero, plain, location<1>, "Location of Field 2 ( Line 1 )"},
    {"SP3", Pos, 18, 19, numberFromZero, plain, location<2>, "Location of Field 3 ( Line 2 )"},
    {"SP4", Pos, 19, 19, numberFromZero, plain, location<3>, "Location of Field 4 ( Line 3 )"},
    {"Start1", Pos, 4, 21, startItem, plain, startLine<0>, "Start Screen Line 0"},
    {"Start2", Pos, 5, 21, startItem, plain, startLine<1>, "Start Screen Line 1"},
    {"Start3", Pos, 6, 21, startItem, plain, startLine<2>, "Start Screen Line 2"},
    {"Start4", Pos, 7, 21, startItem, plain, startLine<3>, "Start Screen Line 3"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<0>, io<0>, nullptr,
     "IO Direction on P2 Header 1"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<1>, io<1>, nullptr,
     "IO Direction on P2 Header 2"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<2>, io<2>, nullptr,
     "IO Direction on P2 Header 3"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<3>, io<3>, nullptr,
     "IO Direction on P2 Header 4"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<4>, io<4>, nullptr,
     "IO Direction on P2 Header 5"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<5>, io<5>, nullptr,
     "IO Direction on P2 Header 6"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<6>, io<6>, nullptr,
     "IO Direction on P2 Header 7"},
    {"IODIR", Stored::IoBit, 3, 2, directionItem, ioBit<7>, io<7>, nullptr,
     "IO Direction on P2 Header 8"},
}};

}  // namespace

std::span<const ListField> listFields() {
    return Fields;
}

std::optional<QString> unselectedList(const Choices& c) {
    return config::firstUnselected(listFields(), c);
}

std::optional<Built> build(const Choices& c) {
    if (unselectedList(c)) {
        return std::nullopt;
    }
    Built out;
    Image& image = out.image;
    config::encode(listFields(), c, image);
    out.checksum = checksum::of(image, LastSummed);
    image[20] = byteOf(out.checksum.sum);
    image[21] = checksum::complementByte(out.checksum);
    return out;
}

QByteArray withTrailingZero(std::span<const std::uint8_t> image, int imageLength) {
    const auto n = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(imageLength, 0)), 0,
                                           image.size());
    QByteArray buffer(static_cast<qsizetype>(n) + 1, '\0');
    std::copy_n(image.begin(), n, buffer.begin());
    return buffer;
}

std::optional<Upload> buildUpload(const Choices& c) {
    const auto built = build(c);
    if (!built) {
        return std::nullopt;
    }
    return uploadOf(*built);
}

Upload uploadOf(const Built& built) {
    Upload upload{};
    std::copy(built.image.begin(), built.image.end(), upload.begin());
    return upload;
}

}  // namespace image2004
