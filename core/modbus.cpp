// SPDX-License-Identifier: MIT
#include "core/modbus.h"

#include <algorithm>

#include "core/crc16.h"
#include "core/hex.h"

namespace modbus {

namespace {

constexpr std::uint8_t lowByte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace

ExchangeShape shapeOf(Command c, int messageLength) {
    switch (c) {
        case Command::Read04:
            return {8, 3, 7, 4};
        case Command::Coil05:
            return {8, 3, 8, 5};
        case Command::Register06:
            return {8, 10, 8, 5};
        case Command::Message16:
            return {9 + messageLength, 5, 8, 5};
    }
    return {8, 3, 8, 5};
}

std::vector<std::uint8_t> read04(std::uint8_t slave, int addressPosition) {
    return {slave, 0x04, 0x00, lowByte(addressPosition), 0x00, 0x01};
}

std::vector<std::uint8_t> coil05(std::uint8_t slave, int addressPosition, Coil value) {
    const std::uint8_t high = value == Coil::On ? 0xFF : 0x00;
    return {slave, 0x05, 0x00, lowByte(addressPosition), high, 0x00};
}

std::vector<std::uint8_t> coil05(std::uint8_t slave, int addressPosition,
                                 const QString& valueText) {
    // The text decides, not the position: only the exact upper-case item switches on.
    return coil05(slave, addressPosition,
                  valueText == QStringLiteral("0xFF00") ? Coil::On : Coil::Off);
}

std::vector<std::uint8_t> register06(std::uint8_t slave, int addressPosition, int high, int low) {
    return {slave, 0x06, 0x00, lowByte(addressPosition), lowByte(high), lowByte(low)};
}

std::vector<std::uint8_t> message16(std::uint8_t slave, int startPosition, QByteArray message) {
    message.truncate(20);
    // A standard slave rejects a byte count that is not twice the register count, so an
    // odd message gets one trailing space rather than a rounded quantity.
    if (message.size() % 2 != 0) {
        message.append(' ');
    }
    const auto n = static_cast<int>(message.size());
    std::vector<std::uint8_t> frame{
        slave, 0x10,           0x00,      lowByte(startAddress16(startPosition)),
        0x00,  lowByte(n / 2), lowByte(n)};
    frame.insert(frame.end(), message.begin(), message.end());
    return frame;
}

int startAddress16(int position) {
    return position <= 39 ? position : (position - 39) * 10 + 30;
}

std::uint8_t slaveByte(int position) {
    return position < 0 ? 0 : lowByte(position + 1);
}

std::optional<Outcome> outcomeBeforeRead(int inBufferCount, const ExchangeShape& s) {
    if (inBufferCount <= 0) {
        return Outcome::NoResponse;
    }
    if (inBufferCount < s.replyLength) {
        return Outcome::Incomplete;
    }
    return std::nullopt;
}

Outcome outcomeOfReply(std::span<const std::uint8_t> reply, const ExchangeShape& s) {
    const auto last = static_cast<std::size_t>(s.lastDataIndex);
    if (s.lastDataIndex < 0 || reply.size() < last + 3) {
        return Outcome::Incomplete;
    }
    return crc16::matches(reply.first(last + 1), reply[last + 1], reply[last + 2])
               ? Outcome::Good
               : Outcome::CrcError;
}

Outcome classify(std::span<const std::uint8_t> waiting, const ExchangeShape& s) {
    if (const auto early = outcomeBeforeRead(static_cast<int>(waiting.size()), s)) {
        return *early;
    }
    return outcomeOfReply(waiting, s);
}

QString outcomeText(Outcome o) {
    switch (o) {
        case Outcome::NoResponse:
            return QStringLiteral("No Response from LCD");
        case Outcome::Incomplete:
            return QStringLiteral("Incomplete Frame");
        case Outcome::CrcError:
            return QStringLiteral("CRC Err");
        case Outcome::Good:
            break;
    }
    return {};
}

std::optional<QString> registerText(int position, std::span<const std::uint8_t> reply) {
    if (reply.size() < 5) {
        return std::nullopt;
    }
    switch (position) {
        case 0:
            // Register 30001 carries its value in the low byte only.
            return hex::number(reply[4], 1);
        case 1:
        case 2:
            // Shown unsigned: values from 0x8000 up are counts, not negative numbers.
            return QString::number(static_cast<unsigned>(reply[3]) * 256U + reply[4]);
        default:
            return std::nullopt;
    }
}

}  // namespace modbus
