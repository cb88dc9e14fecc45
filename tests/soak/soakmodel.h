#pragma once

// What the soak run knows without looking at the window: the faults and line of one
// korvo-sim, drawn from a seed; the request each exchange must send; the bytes the module
// puts on the line for it; and what the reply line must then read, given the bytes that
// were already waiting.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <random>

namespace soak {

enum class Command { Read04, Coil05, Register06, Message16 };

// The faults of one korvo-sim process; they strike every request it answers.
struct Faults {
    bool noReply = false;
    bool corruptCrc = false;
    bool echo = false;
    std::optional<int> truncate;
    std::optional<int> exception;
    int extra = 0;    // stray bytes, 0 for none
    int delayMs = 0;  // 0 for none

    QStringList args() const;
    // One name per fault, "none" without any: the keys of the summary's counts.
    QStringList names() const;
};

// One batch: a fresh korvo-sim (a Korvo-420) with its line and faults.
struct Batch {
    int address = 1;
    int baud = 9600;
    QString format = QStringLiteral("8N1");
    bool paced = true;
    std::array<int, 3> inputRegisters{};
    Faults faults;

    QStringList simArgs() const;
    // Milliseconds the module needs for a stream of this many reply bytes: the end of the
    // request's burst, the delay, and the paced characters.
    double replyTimeMs(int streamBytes) const;
    double charMs() const;  // one character on the line
};

// One exchange: the inputs the window is given and what they must produce.
struct Exchange {
    Command command = Command::Read04;
    int position = 0;      // address list position
    bool coilOn = false;   // 05
    int high = 0;          // 06
    int low = 0;           // 06
    QByteArray message;    // 16, even length, ASCII
    QByteArray request;    // with CRC
    QByteArray goodReply;  // the healthy module's reply, with CRC
    int ticks = 0;

    int replyLength() const { return static_cast<int>(goodReply.size()); }
    const char* name() const;
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

// The bytes korvo-sim with these faults writes after the exchange's request.
QByteArray lineBytes(const Exchange& x, const Batch& b);

// What the reply line must read after the wait, from everything waiting in the receive
// buffer by then. Takes from waiting what the exchange reads; bytes of a short reply stay.
QString expectedReply(QByteArray& waiting, int replyLength);

// When a busy machine let the module's bytes arrive only partly within the wait: the
// receive buffer as it must then be, if some part of stream explains both the reply line
// shown and the count of bytes left waiting after the module finished; nothing if no part
// does.
std::optional<QByteArray> lateArrival(const QByteArray& waiting, const QByteArray& stream,
                                      int replyLength, const QString& shown, int left);

// The request bytes as the monitor shows them.
QString spacedHex(const QByteArray& bytes);

QByteArray closedWithCrc(QByteArray frame);

}  // namespace soak
