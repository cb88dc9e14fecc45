// SPDX-License-Identifier: MIT
#pragma once

// The Korvo-216 configuration image: six 16-character messages, the module's serial
// parameters, two numeric display fields and the start-up screen, closed by the additive
// checksum. 110 bytes travel on the line; the last one is always 0.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "core/checksum.h"
#include "core/codepage.h"
#include "core/configfield.h"

namespace image1602 {

inline constexpr std::size_t Size = 110;
inline constexpr int MessageCount = 6;
inline constexpr int MessageLength = 16;

using Image = std::array<std::uint8_t, Size>;

// What the window shows, as list positions (-1 for a list with no selection) and texts.
// Index 0 of each pair is field 1 / line 0.
struct Choices {
    std::array<QString, MessageCount> messages;
    int baud = 0;
    int dataFormat = 0;
    int address = 0;
    std::array<int, 2> width{};
    std::array<int, 2> decimalPoint{};
    std::array<int, 2> location{};
    std::array<int, 2> startLine{};

    friend bool operator==(const Choices&, const Choices&) = default;
};

// Module codes for the baud-rate and data-format positions.
inline constexpr std::array<std::uint8_t, 3> BaudCodes{36, 18, 9};
inline constexpr std::array<std::uint8_t, 3> FormatCodes{192, 194, 208};

// The window's lists, in the order their keys are saved (section "Cfg1602").
using ListField = config::ListField<Choices>;
std::span<const ListField> listFields();

// The key of message k (0..5): "UDT1".."UDT6".
QString messageKey(int k);

// The caption of the first list whose position is not one of its items, in the order the
// image reads them; nothing when every list has a selection. An image is built only
// when this is empty: an unselected baud or format would otherwise carry stale bytes.
std::optional<QString> unselectedList(const Choices& c);

// The six messages in the given code page, each cut or padded with spaces to exactly 16
// bytes, so that one message can never shift the next (96 bytes).
QByteArray messageBytes(const std::array<QString, MessageCount>& messages,
                        const codepage::CodePage& codePage);

// The image for these choices: bytes 0..108 filled, byte 109 always 0; the message bytes
// and the checksum it closes with. Nothing when a list has no selection.
struct Built {
    Image image{};
    QByteArray msgBytes;
    checksum::Sum checksum;
};
std::optional<Built> build(const Choices& c, const codepage::CodePage& codePage);

}  // namespace image1602
