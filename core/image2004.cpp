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

std::uint8_t ioDirectionByte(const std::array<int, IoPins2004>& io) {
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < io.size(); ++i) {
        if (io[i] == 1) {
            bits = static_cast<std::uint8_t>(bits | (1U << i));
        }
    }
    return bits;
}

std::optional<QString> unselectedList2004(const Choices2004& c) {
    using namespace list2004;
    if (!within(c.address, Addresses)) {
        return QStringLiteral("Slave Address");
    }
    for (int i = 0; i < IoPins2004; ++i) {
        if (!within(c.io[static_cast<std::size_t>(i)], Directions)) {
            return QStringLiteral("IO Direction of pin %1").arg(i + 1);
        }
    }
    for (int i = 0; i < Fields2004; ++i) {
        if (!within(c.startLine[static_cast<std::size_t>(i)], StartItems)) {
            return QStringLiteral("Start Screen Line %1").arg(i);
        }
    }
    struct Column {
        const std::array<int, Fields2004>& positions;
        int count;
        const char* heading;
    };
    const std::array<Column, 3> columns{{
        {c.width, Widths, "Width"},
        {c.decimalPoint, DecimalPoints, "Decimal Point"},
        {c.location, Locations, "Location"},
    }};
    for (const Column& column : columns) {
        for (int i = 0; i < Fields2004; ++i) {
            if (!within(column.positions[static_cast<std::size_t>(i)], column.count)) {
                return QStringLiteral("%1 of Field %2 ( Line %3 )")
                    .arg(QLatin1String(column.heading))
                    .arg(i + 1)
                    .arg(i);
            }
        }
    }
    return std::nullopt;
}

std::optional<Built2004> buildImage2004(const Choices2004& c) {
    if (unselectedList2004(c)) {
        return std::nullopt;
    }
    Built2004 out;
    Image2004& image = out.image;
    image[0] = byteOf(c.address + 1);
    image[1] = baudCode2004(c.baud);
    image[2] = formatCode2004(c.dataFormat);
    image[3] = ioDirectionByte(c.io);
    for (std::size_t i = 0; i < Fields2004; ++i) {
        image[4 + i] = byteOf(c.startLine[i]);
        image[8 + i] = byteOf(c.width[i] + 1);
        image[12 + i] = byteOf(c.decimalPoint[i]);
        image[16 + i] = byteOf(c.location[i]);
    }
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
    Upload2004 upload{};
    std::copy(built->image.begin(), built->image.end(), upload.begin());
    return upload;
}
