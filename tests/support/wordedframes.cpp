// SPDX-License-Identifier: MIT
#include "tests/support/wordedframes.h"

#include <cstdlib>
#include <cstring>

#include "tests/support/frames.h"

namespace testsupport {

namespace {

using framewords::Direction;
using framewords::Line;

QByteArray image1602Hello() {
    QByteArray bytes = QByteArray("HELLO").leftJustified(16, ' ') + QByteArray(80, ' ');
    return bytes + fromHex("12 C2 05 00 00 00 00 01 00 01 01 B0 50 00");
}

}  // namespace

const std::vector<WordedFrame>& wordedFrames() {
    static const std::vector<WordedFrame> frames{
        {"read 04", Line::Modbus, Direction::Tx, fromHex("01 04 00 00 00 01 31 CA"),
         "04 read input register 0x0000 ×1"},
        {"coil on", Line::Modbus, Direction::Tx, fromHex("01 05 00 02 FF 00 2D FA"),
         "05 write coil 0x0002 ON"},
        {"register", Line::Modbus, Direction::Tx, fromHex("01 06 00 01 12 34 D5 7D"),
         "06 write register 0x0001 = 0x1234 (4660)"},
        {"register broadcast", Line::Modbus, Direction::Tx, fromHex("00 06 00 01 12 34 D4 AC"),
         "06 write register 0x0001 = 0x1234 (4660), broadcast"},
        {"message", Line::Modbus, Direction::Tx, fromHex("01 10 00 03 00 02 04 48 49 20 20 6D D4"),
         "16 write registers 0x0003 ×2: \"HI  \""},
        {"message cut", Line::Modbus, Direction::Tx, fromHex("01 10 00 03 00 02 04 48"),
         "incomplete 16 request: 8 of 13 bytes"},
        {"read 01", Line::Modbus, Direction::Tx, fromHex("11 01 00 13 00 25 0E 84"),
         "01 read coil 0x0013 ×37"},
        {"read 02", Line::Modbus, Direction::Tx, fromHex("11 02 00 C4 00 16 BA A9"),
         "02 read discrete input 0x00C4 ×22"},
        {"read 03", Line::Modbus, Direction::Tx, fromHex("11 03 00 6B 00 03 76 87"),
         "03 read holding register 0x006B ×3"},
        {"write coils 15", Line::Modbus, Direction::Tx, fromHex("11 0F 00 13 00 0A 02 CD 01 BF 0B"),
         "15 write coils 0x0013 ×10: CD 01"},
        {"write coils 15 cut", Line::Modbus, Direction::Tx, fromHex("11 0F 00 13 00 0A 02 CD"),
         "incomplete 15 request: 8 of 11 bytes"},
        {"reply 01", Line::Modbus, Direction::Rx, fromHex("11 01 05 CD 6B B2 0E 1B 45 E6"),
         "reply: bits CD 6B B2 0E 1B"},
        {"reply 03", Line::Modbus, Direction::Rx, fromHex("11 03 06 02 2B 00 00 00 64 C8 BA"),
         "reply: 0x022B (555), 0x0000 (0), 0x0064 (100)"},
        {"reply 15", Line::Modbus, Direction::Rx, fromHex("11 0F 00 13 00 0A 26 99"),
         "reply: wrote coils 0x0013 ×10"},
        {"exception 03 of 03", Line::Modbus, Direction::Rx, fromHex("0A 83 02 B1 33"),
         "exception 02: illegal data address"},
        {"reply 04", Line::Modbus, Direction::Rx, fromHex("01 04 02 00 0A 39 37"),
         "reply: 0x000A (10)"},
        {"reply 04 three registers", Line::Modbus, Direction::Rx,
         fromHex("01 04 06 00 01 00 02 00 03 BC 92"), "reply: 0x0001 (1), 0x0002 (2), 0x0003 (3)"},
        {"echo 05", Line::Modbus, Direction::Rx, fromHex("01 05 00 02 FF 00 2D FA"),
         "reply: coil 0x0002 ON"},
        {"echo 06", Line::Modbus, Direction::Rx, fromHex("01 06 00 01 12 34 D5 7D"),
         "reply: register 0x0001 = 0x1234 (4660)"},
        {"reply 16", Line::Modbus, Direction::Rx, fromHex("01 10 00 03 00 02 B1 C8"),
         "reply: wrote 0x0003 ×2"},
        {"exception 02", Line::Modbus, Direction::Rx, fromHex("01 84 02 C2 C1"),
         "exception 02: illegal data address"},
        {"exception 07", Line::Modbus, Direction::Rx, fromHex("01 86 07 03 A2"), "exception 07"},
        {"crc error", Line::Modbus, Direction::Rx, fromHex("01 04 02 00 0A 39 36"),
         "CRC error: got 39 36, expected 39 37"},
        {"reply and extra", Line::Modbus, Direction::Rx, fromHex("01 04 02 00 0A 39 37 AA BB"),
         "reply: 0x000A (10), then 2 extra bytes"},
        {"cut reply", Line::Modbus, Direction::Rx, fromHex("01 04 02 00"),
         "incomplete 04 reply: 4 of 7 bytes"},
        {"cut exception", Line::Modbus, Direction::Rx, fromHex("01 84 02"),
         "3 bytes: too short for a frame"},
        {"other function", Line::Modbus, Direction::Rx, fromHex("01 2B 0E 01 00 70 77"),
         "function 2B, 7 bytes: not one of 01..06, 15, 16"},
        {"image 16x2", Line::Upload1602, Direction::Tx, image1602Hello(),
         "16x2 configuration image, 110 bytes, checksum 0xB0 ok: address 5, 19200 8N2"},
        {"image 16x2 wrong sum", Line::Upload1602, Direction::Tx,
         image1602Hello().replace(107, 1, "\xB1"),
         "16x2 configuration image, 110 bytes, checksum 0xB1 wrong (expected 0xB0 0x50): "
         "address 5, 19200 8N2"},
        {"image 20x4", Line::Upload2004, Direction::Tx,
         fromHex("05 19 0E 81 01 02 00 14 01 01 01 01 00 00 00 00 00 00 00 00 C8 38 00"),
         "20x4 configuration image, 23 bytes, checksum 0xC8 ok: address 5, 19200 8N2"},
        {"image 20x4 defaults", Line::Upload2004, Direction::Tx,
         fromHex("01 FF FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 FD 00"),
         "20x4 configuration image, 23 bytes, checksum 0x03 ok: address 1, 9600 8N1"},
        {"image 20x4 unknown baud", Line::Upload2004, Direction::Tx,
         fromHex("01 07 FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 0B F5 00"),
         "20x4 configuration image, 23 bytes, checksum 0x0B ok: address 1, baud code 7 "
         "unknown 8N1"},
        {"image 20x4 short", Line::Upload2004, Direction::Tx, fromHex("05 19 0E"),
         "20x4 configuration image of 3 bytes (23 expected)"},
    };
    return frames;
}

const WordedFrame& wordedFrame(const char* name) {
    for (const WordedFrame& f : wordedFrames()) {
        if (std::strcmp(f.name, name) == 0) {
            return f;
        }
    }
    std::abort();
}

}  // namespace testsupport
