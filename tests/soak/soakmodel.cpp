#include "soakmodel.h"

#include <algorithm>

#include "crc16.h"

namespace soak {

namespace {

constexpr int kTickMs = 20;
// A reply must be complete within this share of its command's wait, so that a loaded
// machine cannot push it past the end of the wait and turn the expectation into a guess.
constexpr double kWaitShare = 0.5;

std::uint8_t byteAt(const QByteArray& a, qsizetype i) {
    return static_cast<std::uint8_t>(a.at(i));
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

}  // namespace

QByteArray closedWithCrc(QByteArray frame) {
    const std::uint16_t crc =
        crc16::modbus({reinterpret_cast<const std::uint8_t*>(frame.constData()),
                       static_cast<std::size_t>(frame.size())});
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

QString spacedHex(const QByteArray& b) {
    QString out;
    for (qsizetype i = 0; i < b.size(); ++i) {
        out += QStringLiteral("%1 ").arg(byteAt(b, i), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

QStringList Faults::args() const {
    QStringList a;
    if (noReply) {
        a << QStringLiteral("--no-reply");
    }
    if (corruptCrc) {
        a << QStringLiteral("--corrupt-crc");
    }
    if (truncate) {
        a << QStringLiteral("--truncate") << QString::number(*truncate);
    }
    if (extra > 0) {
        a << QStringLiteral("--extra") << QString::number(extra);
    }
    if (exception) {
        a << QStringLiteral("--exception") << QString::number(*exception);
    }
    if (echo) {
        a << QStringLiteral("--echo");
    }
    if (delayMs > 0) {
        a << QStringLiteral("--delay") << QString::number(delayMs);
    }
    return a;
}

QStringList Faults::names() const {
    QStringList n;
    for (const QString& a : args()) {
        if (a.startsWith(QLatin1String("--"))) {
            n << a.mid(2);
        }
    }
    return n.isEmpty() ? QStringList{QStringLiteral("none")} : n;
}

QStringList Batch::simArgs() const {
    QStringList a{QStringLiteral("--model"),
                  QStringLiteral("420"),
                  QStringLiteral("--address"),
                  QString::number(address),
                  QStringLiteral("--baud"),
                  QString::number(baud),
                  QStringLiteral("--format"),
                  format,
                  QStringLiteral("--input-registers"),
                  QStringLiteral("%1,%2,%3")
                      .arg(inputRegisters[0])
                      .arg(inputRegisters[1])
                      .arg(inputRegisters[2])};
    if (!paced) {
        a << QStringLiteral("--no-pace");
    }
    return a + faults.args();
}

double Batch::charMs() const {
    return (format == QLatin1String("8N1") ? 10.0 : 11.0) * 1000.0 / baud;
}

double Batch::replyTimeMs(int streamBytes) const {
    const double silence = std::max(3.5 * charMs(), baud > 19200 ? 1.75 : 0.0);
    return silence + faults.delayMs + (paced ? streamBytes * charMs() : 0.0);
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
    Faults& f = b.faults;
    const auto add = [&](int kind) {
        switch (kind) {
            case 1:
                f.noReply = true;
                break;
            case 2:
                f.corruptCrc = true;
                break;
            case 3:
                f.truncate = between(0, 9);
                break;
            case 4:
                f.extra = between(1, 6);
                break;
            case 5:
                f.exception = between(0, 1) == 0 ? between(1, 4) : between(5, 255);
                break;
            case 6:
                f.echo = true;
                break;
            case 7:
                f.delayMs = between(1, 10);
                break;
            default:
                break;
        }
    };
    const int first = between(0, 7);
    add(first);
    if (first != 0 && between(0, 2) == 0) {
        add(between(1, 7));
    }
    // Commands 04 and 05 wait least; the worst of them (an echoed request before a full
    // reply) must still fit.
    while (b.replyTimeMs((f.echo ? 8 : 0) + 8 + f.extra) > 3 * kTickMs * kWaitShare) {
        if (f.delayMs > 0) {
            f.delayMs /= 2;
        } else if (f.extra > 0) {
            --f.extra;
        } else {
            break;
        }
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
            x.ticks = 3;
            x.request = closedWithCrc(bytes({a, 0x04, 0, x.position, 0, 1}));
            const int value = b.inputRegisters[static_cast<std::size_t>(x.position)];
            x.goodReply = closedWithCrc(bytes({a, 0x04, 2, value >> 8, value & 0xFF}));
            break;
        }
        case Command::Coil05:
            x.position = between(0, 8);
            x.coilOn = between(0, 1) == 1;
            x.ticks = 3;
            x.request = closedWithCrc(bytes({a, 0x05, 0, x.position, x.coilOn ? 0xFF : 0, 0}));
            x.goodReply = x.request;
            break;
        case Command::Register06:
            x.position = between(0, 56);
            x.high = between(0, 255);
            x.low = between(0, 255);
            x.ticks = 10;
            x.request = closedWithCrc(bytes({a, 0x06, 0, x.position, x.high, x.low}));
            x.goodReply = x.request;
            break;
        case Command::Message16: {
            x.position = between(0, 39);
            x.ticks = 5;
            // Even lengths only: the module refuses a byte count that is not twice the
            // register count, and that is not a fault this run injects.
            int n = 2 * between(1, 10);
            const int extraBytes = (b.faults.echo ? 9 : 0) + 8 + b.faults.extra;
            while (n > 2 &&
                   b.replyTimeMs(extraBytes + (b.faults.echo ? n : 0)) > 5 * kTickMs * kWaitShare) {
                n -= 2;
            }
            for (int i = 0; i < n; ++i) {
                x.message.append(static_cast<char>(between(0x20, 0x7E)));
            }
            const QByteArray head = bytes({a, 0x10, 0, x.position, 0, n / 2});
            x.request = closedWithCrc(head + bytes({n}) + x.message);
            x.goodReply = closedWithCrc(head);
            break;
        }
    }
    return x;
}

const char* Exchange::name() const {
    switch (command) {
        case Command::Read04:
            return "04";
        case Command::Coil05:
            return "05";
        case Command::Register06:
            return "06";
        case Command::Message16:
            return "16";
    }
    return "?";
}

QByteArray lineBytes(const Exchange& x, const Batch& b) {
    const Faults& f = b.faults;
    // The module's own order: the exception instead of the reply, then the CRC, the cut,
    // the stray bytes, and the echo in front of it all.
    QByteArray out =
        f.exception ? closedWithCrc(bytes({b.address, byteAt(x.request, 1) | 0x80, *f.exception}))
                    : x.goodReply;
    if (f.noReply) {
        out.clear();
    } else {
        if (f.corruptCrc) {
            out[out.size() - 2] = static_cast<char>(byteAt(out, out.size() - 2) ^ 0xFF);
        }
        if (f.truncate && *f.truncate < out.size()) {
            out.truncate(*f.truncate);
        }
        out.append(QByteArray(f.extra, '\0'));
    }
    if (f.echo) {
        out.prepend(x.request);
    }
    return out;
}

std::optional<QByteArray> lateArrival(const QByteArray& waiting, const QByteArray& stream,
                                      int replyLength, const QString& shown, int left) {
    for (qsizetype p = 0; p < stream.size(); ++p) {
        QByteArray seen = waiting + stream.left(p);
        const bool read = seen.size() >= replyLength;
        if (expectedReply(seen, replyLength) != shown) {
            continue;
        }
        // A read takes whatever has come by then, which may be more than the count saw.
        if (read && left <= stream.size() - p) {
            return stream.right(left);
        }
        if (!read && left == seen.size() + stream.size() - p) {
            return seen + stream.mid(p);
        }
    }
    return std::nullopt;
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
    const QByteArray data = reply.left(replyLength - 2);
    return closedWithCrc(data) == reply ? spacedHex(reply) : QStringLiteral("CRC Err");
}

}  // namespace soak
