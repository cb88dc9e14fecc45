// SPDX-License-Identifier: MIT
#pragma once

// The four Modbus requests the main window sends, the replies it expects and how a reply
// is classified and shown: plain functions over bytes, no widgets.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace modbus {

enum class Command { Read04, Coil05, Register06, Message16 };

// The fixed wait and reply shape of each command.
struct ExchangeShape {
    int requestLength;  // with the CRC
    int ticks;          // 20 ms ticks waited
    int replyLength;    // expected reply bytes
    int lastDataIndex;  // index before the reply's CRC
};
ExchangeShape shapeOf(Command c, int messageLength = 0);

// Request bytes before the CRC. Register and coil addresses are list positions.
std::vector<std::uint8_t> read04(std::uint8_t slave, int addressPosition);
enum class Coil { Off, On };
std::vector<std::uint8_t> coil05(std::uint8_t slave, int addressPosition, Coil value);
// The main window's form: only the exact list item "0xFF00" switches the coil on.
std::vector<std::uint8_t> coil05(std::uint8_t slave, int addressPosition, const QString& valueText);
std::vector<std::uint8_t> register06(std::uint8_t slave, int addressPosition, int high, int low);
// message: Windows-1252 bytes, at most 20; an odd length is padded with one space so the
// byte count is always twice the register quantity.
std::vector<std::uint8_t> message16(std::uint8_t slave, int startPosition, QByteArray message);

// The start address shown at position p of the function 16 list: p up to 39, then 40, 50,
// ... 130.
int startAddress16(int position);

// The slave address byte for a position of the slave list: position + 1, 0 with none.
std::uint8_t slaveByte(int position);

enum class Outcome { NoResponse, Incomplete, CrcError, Good };

// From the receive count alone: no response (0), incomplete (fewer than the expected
// length; those bytes are left waiting), or nothing yet when a full reply can be read.
std::optional<Outcome> outcomeBeforeRead(int inBufferCount, const ExchangeShape& s);

// After every waiting byte has been read: the CRC over the first expected bytes decides;
// bytes beyond them are ignored.
Outcome outcomeOfReply(std::span<const std::uint8_t> reply, const ExchangeShape& s);

// Both steps over everything that was waiting.
Outcome classify(std::span<const std::uint8_t> waiting, const ExchangeShape& s);

// The texts shown in the monitor's reply line for the three failures.
QString outcomeText(Outcome o);

// The text an input register label shows for a full-length 04 reply at a list position,
// or nothing for a position with no label.
std::optional<QString> registerText(int position, std::span<const std::uint8_t> reply);

}  // namespace modbus
