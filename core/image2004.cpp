#include "core/image2004.h"

#include <QByteArray>

#include <algorithm>

#include "core/checksum.h"

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
               : Unset2004;
}

}  // namespace

std::uint8_t baudCode2004(int position) {
    return codeOf(BaudCodes2004, position);
}

std::uint8_t formatCode2004(int position) {
    return codeOf(FormatCodes2004, position);
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

int& address(Choices2004& c) {
    return c.address;
}
int& baud(Choices2004& c) {
    return c.baud;
}
int& dataFormat(Choices2004& c) {
    return c.dataFormat;
}
template <std::size_t I>
int& io(Choices2004& c) {
    return c.io[I];
}
template <std::size_t I>
int& width(Choices2004& c) {
    return c.width[I];
}
template <std::size_t I>
int& decimalPoint(Choices2004& c) {
    return c.decimalPoint[I];
}
template <std::size_t I>
int& location(Choices2004& c) {
    return c.location[I];
}
template <std::size_t I>
int& startLine(Choices2004& c) {
    return c.startLine[I];
}

using config::baudItem;
using config::formatItem;
using config::numberFromOne;
using config::numberFromZero;
constexpr auto Width = Stored::PositionPlusOne;
constexpr auto Pos = Stored::Position;

constexpr std::array<ListField2004, 27> Fields{{
    {"Saddr", Stored::PositionPlusOne, 0, 247, numberFromOne, plusOne, address, "Slave Address"},
    {"Cset", Stored::LineBaud, 1, 3, baudItem, baudCode2004, baud, nullptr, "Baud Rate"},
    {"Cset", Stored::LineFormat, 2, 3, formatItem, formatCode2004, dataFormat, nullptr,
     "Data Format"},
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

std::span<const ListField2004> listFields2004() {
    return Fields;
}

std::optional<QString> unselectedList2004(const Choices2004& c) {
    return config::firstUnselected(listFields2004(), c);
}

std::optional<Built2004> buildImage2004(const Choices2004& c) {
    if (unselectedList2004(c)) {
        return std::nullopt;
    }
    Built2004 out;
    Image2004& image = out.image;
    config::encode(listFields2004(), c, image);
    out.checksum = checksumOf(image, LastSummed);
    image[20] = byteOf(out.checksum.sum);
    image[21] = complementByte(out.checksum);
    return out;
}

QByteArray withTrailingZero(std::span<const std::uint8_t> image, int imageLength) {
    const auto n = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(imageLength, 0)), 0,
                                           image.size());
    QByteArray buffer(static_cast<qsizetype>(n) + 1, '\0');
    std::copy_n(image.begin(), n, buffer.begin());
    return buffer;
}

std::optional<Upload2004> buildUpload2004(const Choices2004& c) {
    const auto built = buildImage2004(c);
    if (!built) {
        return std::nullopt;
    }
    return uploadOf(*built);
}

Upload2004 uploadOf(const Built2004& built) {
    Upload2004 upload{};
    std::copy(built.image.begin(), built.image.end(), upload.begin());
    return upload;
}
