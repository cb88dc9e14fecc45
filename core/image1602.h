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

inline constexpr std::size_t CfgData1602Size = 110;
inline constexpr int MessageCount1602 = 6;
inline constexpr int MessageLength1602 = 16;

using CfgImage1602 = std::array<std::uint8_t, CfgData1602Size>;

// What the window shows, as list positions (-1 for a list with no selection) and texts.
// Index 0 of each pair is field 1 / line 0.
struct Choices1602 {
    std::array<QString, MessageCount1602> messages;
    int baud = 0;
    int dataFormat = 0;
    int address = 0;
    std::array<int, 2> width{};
    std::array<int, 2> decimalPoint{};
    std::array<int, 2> location{};
    std::array<int, 2> startLine{};

    friend bool operator==(const Choices1602&, const Choices1602&) = default;
};

// Module codes for the baud-rate and data-format positions.
inline constexpr std::array<std::uint8_t, 3> BaudCodes1602{36, 18, 9};
inline constexpr std::array<std::uint8_t, 3> FormatCodes1602{192, 194, 208};

// The window's lists, in the order their keys are saved (section "Cfg1602").
using ListField1602 = config::ListField<Choices1602>;
std::span<const ListField1602> listFields1602();

// The key of message k (0..5): "UDT1".."UDT6".
QString messageKey1602(int k);

// The caption of the first list whose position is not one of its items, in the order the
// image reads them; nothing when every list has a selection. An image is built only
// when this is empty: an unselected baud or format would otherwise carry stale bytes.
std::optional<QString> unselectedList1602(const Choices1602& c);

// The six messages in the given code page, each cut or padded with spaces to exactly 16
// bytes, so that one message can never shift the next (96 bytes).
QByteArray messageBytes1602(const std::array<QString, MessageCount1602>& messages,
                            const codepage::CodePage& codePage);

// The image for these choices: bytes 0..108 filled, byte 109 always 0; the message bytes
// and the checksum it closes with. Nothing when a list has no selection.
struct Built1602 {
    CfgImage1602 image{};
    QByteArray msgBytes;
    Checksum checksum;
};
std::optional<Built1602> buildImage1602(const Choices1602& c, const codepage::CodePage& codePage);
