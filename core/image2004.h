#pragma once

// The Korvo-420 configuration image: serial parameters, IO directions of the P2 header,
// start screen and four numeric display fields in 22 bytes closed by the additive
// checksum; one upload is those 22 bytes and a trailing 0.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "core/checksum.h"
#include "core/configfield.h"

inline constexpr int ImageLength2004 = 22;
inline constexpr std::size_t Upload2004Size = ImageLength2004 + 1;
inline constexpr int IoPins2004 = 8;
inline constexpr int Fields2004 = 4;

using Upload2004 = std::array<std::uint8_t, Upload2004Size>;

// List positions as the window shows them, -1 for a list with no selection. Element i of
// the arrays is field i+1 / display line i / header pin i+1.
struct Choices2004 {
    int address = 0;
    int baud = 0;
    int dataFormat = 0;
    std::array<int, IoPins2004> io{};
    std::array<int, Fields2004> startLine{};
    std::array<int, Fields2004> width{};
    std::array<int, Fields2004> decimalPoint{};
    std::array<int, Fields2004> location{};

    friend bool operator==(const Choices2004&, const Choices2004&) = default;
};

// Codes by position; the first item shares 255 with "no selection".
inline constexpr std::uint8_t Unset2004 = 255;
inline constexpr std::array<std::uint8_t, 3> BaudCodes2004{255, 25, 12};
inline constexpr std::array<std::uint8_t, 3> FormatCodes2004{255, 14, 38};

std::uint8_t baudCode2004(int position);
std::uint8_t formatCode2004(int position);

// The window's lists, in the order their keys are saved (section "Cfg2004").
using ListField2004 = config::ListField<Choices2004>;
std::span<const ListField2004> listFields2004();

// The caption of the first list, in the order the image reads them, that has no
// selection. The baud-rate, data-format and IO direction lists may be left empty (the
// first two have a code for it, and a pin without a direction is an input, bit 0), but not
// hold typed text that matches no item (config::TypedNoItem).
std::optional<QString> unselectedList2004(const Choices2004& c);

using Image2004 = std::array<std::uint8_t, ImageLength2004>;

// The 22 image bytes for these choices and the checksum they close with. Nothing when a
// list has no selection.
struct Built2004 {
    Image2004 image{};
    Checksum checksum;
};
std::optional<Built2004> buildImage2004(const Choices2004& c);

// The first imageLength bytes of image followed by one 0 (SendCfgData's buffer).
QByteArray withTrailingZero(std::span<const std::uint8_t> image, int imageLength);

// The 23 bytes one upload of these choices puts on the line.
std::optional<Upload2004> buildUpload2004(const Choices2004& c);
Upload2004 uploadOf(const Built2004& built);
