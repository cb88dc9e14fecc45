// SPDX-License-Identifier: MIT
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

namespace image2004 {

inline constexpr int Length = 22;
inline constexpr std::size_t UploadSize = Length + 1;
inline constexpr int IoPins = 8;
inline constexpr int FieldCount = 4;

using Upload = std::array<std::uint8_t, UploadSize>;

// List positions as the window shows them, -1 for a list with no selection. Element i of
// the arrays is field i+1 / display line i / header pin i+1.
struct Choices {
    int address = 0;
    int baud = 0;
    int dataFormat = 0;
    std::array<int, IoPins> io{};
    std::array<int, FieldCount> startLine{};
    std::array<int, FieldCount> width{};
    std::array<int, FieldCount> decimalPoint{};
    std::array<int, FieldCount> location{};

    friend bool operator==(const Choices&, const Choices&) = default;
};

// Codes by position; the first item shares 255 with "no selection".
inline constexpr std::uint8_t Unset = 255;
inline constexpr std::array<std::uint8_t, 3> BaudCodes{255, 25, 12};
inline constexpr std::array<std::uint8_t, 3> FormatCodes{255, 14, 38};

std::uint8_t baudCode(int position);
std::uint8_t formatCode(int position);

// The window's lists, in the order their keys are saved (section "Cfg2004").
using ListField = config::ListField<Choices>;
std::span<const ListField> listFields();

// The caption of the first list, in the order the image reads them, that has no
// selection. The baud-rate, data-format and IO direction lists may be left empty (the
// first two have a code for it, and a pin without a direction is an input, bit 0), but not
// hold typed text that matches no item (config::TypedNoItem).
std::optional<QString> unselectedList(const Choices& c);

using Image = std::array<std::uint8_t, Length>;

// The 22 image bytes for these choices and the checksum they close with. Nothing when a
// list has no selection.
struct Built {
    Image image{};
    checksum::Sum checksum;
};
std::optional<Built> build(const Choices& c);

// The first imageLength bytes of image followed by one 0 (SendCfgData's buffer).
QByteArray withTrailingZero(std::span<const std::uint8_t> image, int imageLength);

// The 23 bytes one upload of these choices puts on the line.
std::optional<Upload> buildUpload(const Choices& c);
Upload uploadOf(const Built& built);

}  // namespace image2004
