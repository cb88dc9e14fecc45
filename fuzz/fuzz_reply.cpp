// SPDX-License-Identifier: MIT
// Whatever bytes wait in the receive buffer after an exchange: the classification, the
// window's own reply check over RxData and TxFrame, and the monitor and register texts.
// The outcome is checked against a CRC worked out here bit by bit, independently of the
// program's table.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "app/modVar.h"
#include "app/modcrc16.h"
#include "core/hex.h"
#include "core/modbus.h"
#include "fuzz/slowcrc.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_reply: %s\n", what);
    std::abort();
}

// Data bytes 0..last followed by their CRC, low byte first.
bool crcHolds(std::span<const std::uint8_t> reply, int last) {
    if (last < 0 || reply.size() < static_cast<std::size_t>(last) + 3) {
        return false;
    }
    const auto n = static_cast<std::size_t>(last);
    const std::uint16_t crc = fuzz::slowCrc(reply.first(n + 1));
    return reply[n + 1] == (crc & 0xFFU) && reply[n + 2] == (crc >> 8U);
}

modbus::Outcome expected(std::span<const std::uint8_t> waiting, const modbus::ExchangeShape& s) {
    if (waiting.empty()) {
        return modbus::Outcome::NoResponse;
    }
    if (waiting.size() < static_cast<std::size_t>(s.replyLength)) {
        return modbus::Outcome::Incomplete;
    }
    return crcHolds(waiting, s.lastDataIndex) ? modbus::Outcome::Good : modbus::Outcome::CrcError;
}

QByteArray asRxData(std::span<const std::uint8_t> bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    constexpr modbus::Command commands[] = {modbus::Command::Read04, modbus::Command::Coil05,
                                            modbus::Command::Register06,
                                            modbus::Command::Message16};
    const modbus::Command command = commands[data[0] & 3U];
    const int messageLength = (data[0] >> 2U) % 21;
    const auto anyIndex = static_cast<std::int16_t>(data[1] | (data[2] << 8U));
    // Positions around the three labels: two below, three above.
    const int position = data[3] % 8 - 2;
    const std::span<const std::uint8_t> waiting(data + 4, size - 4);

    const modbus::ExchangeShape shape = modbus::shapeOf(command, messageLength);
    const modbus::Outcome want = expected(waiting, shape);
    if (modbus::classify(waiting, shape) != want) {
        fail("classify disagrees with the reply's length and CRC");
    }

    // The window's way: the count first, then the bytes through CheckRxCRC.
    if (const auto early = modbus::outcomeBeforeRead(static_cast<int>(waiting.size()), shape)) {
        if (*early != want) {
            fail("the receive count alone gave the wrong outcome");
        }
    } else {
        RxData = asRxData(waiting);
        const auto last = static_cast<std::int16_t>(shape.lastDataIndex);
        if (CheckRxCRC(last) != (want == modbus::Outcome::Good)) {
            fail("CheckRxCRC disagrees with the reply's CRC");
        }
    }

    // Any index at all against any reply: never outside TxFrame or RxData.
    RxData = asRxData(waiting);
    const bool inFrame = anyIndex >= 0 && anyIndex < static_cast<int>(TxFrame.size());
    if (CheckRxCRC(anyIndex) != (inFrame && crcHolds(waiting, anyIndex))) {
        fail("CheckRxCRC with an arbitrary index");
    }

    const QString line = hex::line(waiting);
    if (line.size() != static_cast<qsizetype>(waiting.size()) * 3) {
        fail("hex::line length");
    }
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        bool ok = false;
        const auto at = static_cast<qsizetype>(i) * 3;
        if (line.mid(at, 2).toUInt(&ok, 16) != waiting[i] || !ok || line[at + 2] != u' ' ||
            line.mid(at, 2) != line.mid(at, 2).toUpper()) {
            fail("hex::line does not read back");
        }
    }

    const auto text = modbus::registerText(position, waiting);
    if (text && (position < 0 || position > 2 || waiting.size() < 5)) {
        fail("registerText for a position without a label or a short reply");
    }
    if (text && position > 0) {
        bool ok = false;
        if (text->toUInt(&ok) != waiting[3] * 256U + waiting[4] || !ok) {
            fail("registerText value");
        }
    }
    return 0;
}
