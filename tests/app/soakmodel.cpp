// SPDX-License-Identifier: MIT
#include "tests/app/soakmodel.h"

#include "tests/support/frames.h"

using namespace testsupport;

namespace soak {

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

}  // namespace

QString Batch::faultText() const {
    switch (fault) {
        case Fault::None:
            return QStringLiteral("none");
        case Fault::NoReply:
            return QStringLiteral("--no-reply");
        case Fault::CorruptCrc:
            return QStringLiteral("--corrupt-crc");
        case Fault::Truncate:
            return QStringLiteral("--truncate %1").arg(faultValue);
        case Fault::Exception:
            return QStringLiteral("--exception %1").arg(faultValue);
    }
    return {};
}

QStringList Batch::simArgs() const {
    QStringList a{QStringLiteral("--model=420"), QStringLiteral("--address=%1").arg(address),
                  QStringLiteral("--baud=%1").arg(baud), QStringLiteral("--format=") + format,
                  QStringLiteral("--input-registers=%1,%2,%3")
                      .arg(inputRegisters[0])
                      .arg(inputRegisters[1])
                      .arg(inputRegisters[2])};
    if (!paced) {
        a << QStringLiteral("--no-pace");
    }
    if (fault != Fault::None) {
        a += faultText().split(' ');
    }
    return a;
}

Draw::Draw(std::uint64_t seed, int batchIndex)
    : rng_(seed ^ (0x9E3779B97F4A7C15ULL * static_cast<std::uint64_t>(batchIndex + 1))) {}

Batch Draw::batch() {
    Batch b;
    b.address = between(1, 247);
    b.baud = std::array{9600, 19200, 38400}[static_cast<std::size_t>(between(0, 2))];
    b.format = QStringList{"8N1", "8N2", "8E1"}[between(0, 2)];
    b.paced = between(0, 3) != 0;
    for (int& r : b.inputRegisters) {
        r = between(0, 65535);
    }
    // Healthy modules as often as each fault; a cut may fall inside or past any reply, and
    // the exception codes include those the standard does not name.
    b.fault = static_cast<Fault>(between(0, 4));
    if (b.fault == Fault::Truncate) {
        b.faultValue = between(0, 9);
    } else if (b.fault == Fault::Exception) {
        b.faultValue = between(0, 1) == 0 ? between(1, 4) : between(5, 255);
    }
    return b;
}

Exchange Draw::exchange(const Batch& b) {
    Exchange x;
    x.command = static_cast<Command>(between(0, 3));
    const int a = b.address;
    switch (x.command) {
        case Command::Read04: {
            x.position = between(0, 2);
            x.request = withCrc(bytes({a, 0x04, 0, x.position, 0, 1}));
            const int value = b.inputRegisters[static_cast<std::size_t>(x.position)];
            x.goodReply = withCrc(bytes({a, 0x04, 2, value >> 8, value & 0xFF}));
            return x;
        }
        case Command::Coil05:
            x.position = between(0, 8);
            x.coilOn = between(0, 1) == 1;
            x.request = withCrc(bytes({a, 0x05, 0, x.position, x.coilOn ? 0xFF : 0, 0}));
            break;
        case Command::Register06:
            x.position = between(0, 56);
            x.high = between(0, 255);
            x.low = between(0, 255);
            x.request = withCrc(bytes({a, 0x06, 0, x.position, x.high, x.low}));
            break;
        case Command::Message16: {
            x.position = between(0, 39);
            // Even lengths only: an odd one is padded by the window, which the request
            // tests cover.
            const int n = 2 * between(1, 10);
            for (int i = 0; i < n; ++i) {
                x.message.append(static_cast<char>(between(0x20, 0x7E)));
            }
            const QByteArray head = bytes({a, 0x10, 0, x.position, 0, n / 2});
            x.request = withCrc(head + bytes({n}) + x.message);
            x.goodReply = withCrc(head);
            return x;
        }
    }
    x.goodReply = x.request;  // 05 and 06 echo the request
    return x;
}

QByteArray lineBytes(const Exchange& x, const Batch& b) {
    switch (b.fault) {
        case Fault::None:
            return x.goodReply;
        case Fault::NoReply:
            return {};
        case Fault::CorruptCrc: {
            QByteArray out = x.goodReply;
            out[out.size() - 2] = static_cast<char>(out.at(out.size() - 2) ^ 0xFF);
            return out;
        }
        case Fault::Truncate:
            return x.goodReply.left(b.faultValue);
        case Fault::Exception:
            return withCrc(bytes(
                {b.address, static_cast<std::uint8_t>(x.request.at(1)) | 0x80, b.faultValue}));
    }
    return {};
}

QString expectedReply(QByteArray& waiting, int replyLength) {
    if (waiting.isEmpty()) {
        return QStringLiteral("No Response from LCD");
    }
    if (waiting.size() < replyLength) {
        return QStringLiteral("Incomplete Frame");
    }
    const QByteArray reply = waiting.left(replyLength);
    waiting.clear();
    return withCrc(reply.left(replyLength - 2)) == reply ? spaced(reply)
                                                         : QStringLiteral("CRC Err");
}

}  // namespace soak
