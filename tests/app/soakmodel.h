// SPDX-License-Identifier: MIT
#pragma once

// What the soak run knows without looking at the window: one korvo-sim's line and fault,
// drawn from a seed; the request each exchange sends; the bytes the module answers with;
// and the reply line those bytes, behind whatever was already waiting, must produce.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <random>

namespace soak {

enum class Command { Read04, Coil05, Register06, Message16 };

// The one fault of a batch's korvo-sim; it strikes every reply.
enum class Fault { None, NoReply, CorruptCrc, Truncate, Exception };

// One batch: a fresh korvo-sim (a Korvo-420) with its line and fault.
struct Batch {
    int address = 1;
    int baud = 9600;
    QString format = QStringLiteral("8N1");
    bool paced = true;
    std::array<int, 3> inputRegisters{};
    Fault fault = Fault::None;
    int faultValue = 0;  // the truncated length, or the exception code

    QStringList simArgs() const;
    QString faultText() const;  // the fault's options, "none" without one
};

// One exchange: the inputs the window is given and the healthy module's reply.
struct Exchange {
    Command command = Command::Read04;
    int position = 0;     // address list position
    bool coilOn = false;  // 05
    int high = 0;         // 06
    int low = 0;          // 06
    QByteArray message;   // 16, even length, ASCII
    QByteArray request;   // with CRC
    QByteArray goodReply;

    int replyLength() const { return static_cast<int>(goodReply.size()); }
};

class Draw {
  public:
    Draw(std::uint64_t seed, int batchIndex);
    Batch batch();
    Exchange exchange(const Batch& b);
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  private:
    std::mt19937_64 rng_;
};

// The bytes korvo-sim with this batch's fault writes for the exchange's request.
QByteArray lineBytes(const Exchange& x, const Batch& b);

// What the reply line must read after the wait, given everything then waiting in the
// receive buffer. A full read empties waiting; the bytes of a short reply stay.
QString expectedReply(QByteArray& waiting, int replyLength);

}  // namespace soak
