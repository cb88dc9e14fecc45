// SPDX-License-Identifier: MIT
#pragma once

// What a listener hears on a shared RS-485 line, cut into frames and put into words: bytes
// and the time they were read in, frames out. Frames end at 3.5 characters of silence, and
// also where the length a function code implies and the CRC agree, because adapters and
// drivers hand bytes over late and in lumps: a request and its reply read together still
// come out as two frames. Pure: the caller supplies every timestamp.

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace busframe {

// Who sent a frame, where the traffic lets it be told.
enum class Direction { Request, Reply, Unknown };

// What a frame is, by its bytes alone.
enum class Kind {
    Modbus,      // one of 01..06, 15, 16 of its announced length with a correct CRC
    Exception,   // address, function with the top bit set, code, CRC
    Upload1602,  // a Korvo-216 configuration image (110 bytes, checksum closes)
    Upload2004,  // a Korvo-420 configuration upload (23 bytes, checksum closes)
    CrcError,    // a known function whose CRC is wrong
    Unknown      // anything else (also a correct CRC at a length the function cannot
                 // have), kept as bytes
};

// Bit flags of a frame.
enum Flag : unsigned {
    InnerSilence = 1U,  // a silence longer than 1.5 characters inside the frame
    ShortGap = 2U,      // less than 3.5 characters of silence before it (where measured)
};

// The time a character takes on the line and the silences that matter at that speed.
struct Timing {
    std::int64_t characterUs = 0;   // start bit, data bits, parity and stop bits
    std::int64_t interFrameUs = 0;  // 3.5 characters; 1750 µs above 19200 bps
    std::int64_t interCharUs = 0;   // 1.5 characters; 750 µs above 19200 bps
    // False on a line without wire time (a pseudo-terminal): a lump's bytes are then taken
    // to have arrived together rather than one character time apart before it was read.
    bool wireTime = true;
};
// bitsPerCharacter counts start, data, parity and stop bits (11 for 8E1 and 8N2, 10 for 8N1).
Timing timingFor(int baud, int bitsPerCharacter, bool wireTime = true);

struct Frame {
    std::uint64_t number = 0;  // from 1, in order of arrival
    std::vector<std::uint8_t> bytes;
    std::int64_t startUs = 0;  // estimated end of its first character
    std::int64_t endUs = 0;    // estimated end of its last character
    // Silence before it: from the end of the frame before to the start of this one.
    // Nothing for the first frame, and for a frame cut from the same lump as the one before
    // by length and CRC (the lump hides the silence).
    std::optional<std::int64_t> gapUs;
    std::int64_t longestInnerSilenceUs = 0;
    Kind kind = Kind::Unknown;
    bool crcOk = false;  // true also for an upload whose checksum closes
    Direction direction = Direction::Unknown;
    std::optional<std::uint8_t> address;   // first byte of a Modbus frame
    std::optional<std::uint8_t> function;  // second byte of a Modbus frame
    QString meaning;
    // End of the request to the start of this reply, for a reply paired with its request.
    std::optional<std::int64_t> turnaroundUs;
    std::optional<std::uint64_t> requestNumber;  // the request a reply answers
    unsigned flags = 0;
};

// A request the next frame did not answer (another request came first, or the wait ran
// out): the slave did not reply.
struct Missed {
    std::uint64_t requestNumber = 0;
    std::uint8_t address = 0;
};

// What one call hands back: frames completed, in order, and requests given up on.
struct Output {
    std::vector<Frame> frames;
    std::vector<Missed> missed;
};

// The longest frame a Modbus RTU line carries; anything longer is cut into frames of this
// size, so what a listener holds stays bounded whatever the line does.
inline constexpr std::size_t MaxFrameBytes = 256;

class Framer {
  public:
    // replyTimeoutUs: how long a request waits for its reply before it counts as not
    // answered.
    explicit Framer(Timing timing, std::int64_t replyTimeoutUs = 1'000'000);

    // Bytes read together at timeUs (monotonic, microseconds, never decreasing). Work is in
    // proportion to the new bytes.
    Output feed(std::span<const std::uint8_t> bytes, std::int64_t timeUs);
    // No bytes came up to nowUs: closes a frame whose silence has reached 3.5 characters
    // and gives up on a request whose wait ran out.
    Output idle(std::int64_t nowUs);
    // The line is closed: whatever is held becomes a frame; a request still waiting is
    // left unpaired (not counted as missed).
    Output finish();

    const Timing& timing() const { return timing_; }
    // When idle() next has something to do, if ever: for a caller's timer.
    std::optional<std::int64_t> nextDeadlineUs() const;

  private:
    struct Pending {
        std::vector<std::uint8_t> bytes;
        std::int64_t startUs = 0;
        std::int64_t lastUs = 0;
        std::optional<std::int64_t> gapUs;
        std::int64_t longestInnerSilenceUs = 0;
        bool sameLumpAsPrevious = false;
    };
    struct Outstanding {
        std::uint64_t number = 0;
        std::uint8_t address = 0;
        std::uint8_t function = 0;
        std::int64_t endUs = 0;
    };

    void close(Output& out);
    void classify(Frame& f);
    void pair(Frame& f, Output& out);
    std::optional<std::size_t> completeLength() const;
    void expire(std::int64_t nowUs, Output& out);

    Timing timing_;
    std::int64_t replyTimeoutUs_;
    Pending pending_;
    std::optional<std::int64_t> lastFrameEndUs_;
    std::optional<Outstanding> outstanding_;
    std::uint64_t nextNumber_ = 1;
};

// "request", "reply", "unknown"
QString directionName(Direction d);
// "inner-silence", "short-gap", joined by commas; "" for none.
QString flagNames(unsigned flags);

}  // namespace busframe
