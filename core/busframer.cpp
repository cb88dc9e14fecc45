// SPDX-License-Identifier: MIT
#include "core/busframer.h"

#include <QStringList>

#include <algorithm>
#include <array>

#include "core/checksum.h"
#include "core/codepage.h"
#include "core/crc16.h"
#include "core/framewords.h"
#include "core/image1602.h"
#include "core/image2004.h"

namespace busframe {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Above 19200 bps the silences are fixed rather than scaled, as the Modbus serial line
// rules have it: the character time gets too short for drivers to honour.
constexpr int FixedTimingAboveBaud = 19200;
constexpr std::int64_t FixedInterFrameUs = 1750;
constexpr std::int64_t FixedInterCharUs = 750;

// A frame that its function says is not complete yet is held this much longer than the
// silence that ends a frame: on a busy machine the rest of it may be waiting unread.
constexpr std::int64_t LateBytesUs = 100'000;

bool knownFunction(std::uint8_t f) {
    return (f >= 0x01 && f <= 0x06) || f == 0x0F || f == 0x10;
}

bool isException(std::uint8_t f) {
    return (f & 0x80U) != 0 && knownFunction(f & 0x7FU);
}

// The lengths a frame starting with b can have by its function, request or reply, as far as
// the bytes so far tell; at most two.
struct Lengths {
    std::array<std::size_t, 2> length{};
    std::size_t count = 0;
    void add(std::size_t n) {
        if (count == 0 || length[0] != n) {
            length[count++] = n;
        }
    }
    bool has(std::size_t n) const {
        return std::find(length.begin(), length.begin() + static_cast<long>(count), n) !=
               length.begin() + static_cast<long>(count);
    }
};

Lengths lengthsOf(Bytes b) {
    Lengths l;
    if (b.size() < 2) {
        return l;
    }
    const std::uint8_t f = b[1];
    if (isException(f)) {
        l.add(5);
        return l;
    }
    switch (f) {
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
            l.add(8);
            if (b.size() >= 3) {
                l.add(5U + b[2]);
            }
            break;
        case 0x05:
        case 0x06:
            l.add(8);
            break;
        case 0x0F:
        case 0x10:
            l.add(8);
            if (b.size() >= 7) {
                l.add(9U + b[6]);
            }
            break;
        default:
            break;
    }
    return l;
}

bool crcCloses(Bytes b) {
    return b.size() >= 4 && crc16::matches(b.first(b.size() - 2), b[b.size() - 2], b.back());
}

bool checksumCloses(Bytes b, int lastSummed) {
    const checksum::Sum c = checksum::of(b, lastSummed);
    const auto at = static_cast<std::size_t>(lastSummed) + 1;
    return b[at] == static_cast<std::uint8_t>(c.sum) && b[at + 1] == checksum::complementByte(c) &&
           b.back() == 0;
}

std::optional<Kind> uploadKind(Bytes b) {
    if (b.size() == image1602::Size && checksumCloses(b, 106)) {
        return Kind::Upload1602;
    }
    if (b.size() == image2004::UploadSize && checksumCloses(b, image2004::Length - 3)) {
        return Kind::Upload2004;
    }
    return std::nullopt;
}

}  // namespace

Timing timingFor(int baud, int bitsPerCharacter, bool wireTime) {
    Timing t;
    baud = std::max(baud, 1);
    t.characterUs = (static_cast<std::int64_t>(bitsPerCharacter) * 1'000'000 + baud - 1) / baud;
    if (baud > FixedTimingAboveBaud) {
        t.interFrameUs = FixedInterFrameUs;
        t.interCharUs = FixedInterCharUs;
    } else {
        t.interFrameUs = (t.characterUs * 7 + 1) / 2;
        t.interCharUs = (t.characterUs * 3 + 1) / 2;
    }
    t.wireTime = wireTime;
    return t;
}

Framer::Framer(Timing timing, std::int64_t replyTimeoutUs)
    : timing_(timing), replyTimeoutUs_(replyTimeoutUs) {
    pending_.bytes.reserve(MaxFrameBytes);
}

std::optional<std::size_t> Framer::completeLength() const {
    const Bytes b = pending_.bytes;
    const Lengths l = lengthsOf(b);
    if (l.has(b.size()) && crcCloses(b)) {
        return b.size();
    }
    return std::nullopt;
}

Output Framer::feed(std::span<const std::uint8_t> bytes, std::int64_t timeUs) {
    Output out;
    if (bytes.empty()) {
        return out;
    }
    const std::int64_t c = timing_.wireTime ? timing_.characterUs : 0;
    const auto n = static_cast<std::int64_t>(bytes.size());
    const std::optional<std::int64_t> previousUs =
        !pending_.bytes.empty() ? std::optional(pending_.lastUs) : lastFrameEndUs_;
    // Each byte's end, taken one character apart back from the read, but never before the
    // byte heard before it.
    auto byteUs = [&](std::int64_t i) {
        const std::int64_t t = timeUs - (n - 1 - i) * c;
        return previousUs ? std::max(t, *previousUs) : t;
    };
    const std::int64_t firstUs = byteUs(0);
    const std::optional<std::int64_t> silenceUs =
        previousUs ? std::optional(std::max<std::int64_t>(0, firstUs - c - *previousUs))
                   : std::nullopt;

    expire(firstUs - c, out);
    if (!pending_.bytes.empty() && silenceUs && *silenceUs >= timing_.interFrameUs) {
        // A silence ends the frame, unless its function says it is not complete and these
        // bytes complete it with a correct CRC: then the silence is the reader's, not the
        // line's.
        bool completes = false;
        const Lengths l = lengthsOf(pending_.bytes);
        for (std::size_t k = 0; k < l.count && !completes; ++k) {
            const std::size_t want = l.length[k];
            const std::size_t held = pending_.bytes.size();
            if (want > held && want - held <= bytes.size() && want <= MaxFrameBytes) {
                std::vector<std::uint8_t> joined(pending_.bytes);
                joined.insert(joined.end(), bytes.begin(),
                              bytes.begin() + static_cast<long>(want - held));
                completes = crcCloses(joined);
            }
        }
        if (!completes) {
            close(out);
        }
    }
    if (!pending_.bytes.empty() && silenceUs) {
        pending_.longestInnerSilenceUs = std::max(pending_.longestInnerSilenceUs, *silenceUs);
    }

    bool cutInLump = false;
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t at = byteUs(i);
        if (pending_.bytes.empty()) {
            pending_.startUs = at;
            pending_.longestInnerSilenceUs = 0;
            // The first frame of a lump follows a silence that was measured; a frame cut
            // out of the middle of one does not.
            pending_.gapUs =
                (i == 0 && !cutInLump && lastFrameEndUs_)
                    ? std::optional(std::max<std::int64_t>(0, at - c - *lastFrameEndUs_))
                    : std::nullopt;
        }
        pending_.bytes.push_back(bytes[static_cast<std::size_t>(i)]);
        pending_.lastUs = at;
        if (completeLength() || pending_.bytes.size() >= MaxFrameBytes) {
            close(out);
            cutInLump = true;
        }
    }
    return out;
}

Output Framer::idle(std::int64_t nowUs) {
    Output out;
    if (!pending_.bytes.empty()) {
        const Lengths l = lengthsOf(pending_.bytes);
        const bool awaited =
            std::any_of(l.length.begin(), l.length.begin() + static_cast<long>(l.count),
                        [&](std::size_t want) { return want > pending_.bytes.size(); });
        const std::int64_t wait = timing_.interFrameUs + (awaited ? LateBytesUs : 0);
        if (nowUs - pending_.lastUs >= wait) {
            close(out);
        }
    }
    expire(nowUs, out);
    return out;
}

Output Framer::finish() {
    Output out;
    if (!pending_.bytes.empty()) {
        close(out);
    }
    outstanding_.reset();
    return out;
}

std::optional<std::int64_t> Framer::nextDeadlineUs() const {
    std::optional<std::int64_t> at;
    if (!pending_.bytes.empty()) {
        const Lengths l = lengthsOf(pending_.bytes);
        const bool awaited =
            std::any_of(l.length.begin(), l.length.begin() + static_cast<long>(l.count),
                        [&](std::size_t want) { return want > pending_.bytes.size(); });
        at = pending_.lastUs + timing_.interFrameUs + (awaited ? LateBytesUs : 0);
    }
    if (outstanding_) {
        const std::int64_t due = outstanding_->endUs + replyTimeoutUs_ + 1;
        at = at ? std::min(*at, due) : due;
    }
    return at;
}

void Framer::expire(std::int64_t nowUs, Output& out) {
    if (outstanding_ && pending_.bytes.empty() && nowUs - outstanding_->endUs > replyTimeoutUs_) {
        out.missed.push_back({outstanding_->number, outstanding_->address});
        outstanding_.reset();
    }
}

void Framer::close(Output& out) {
    Frame f;
    f.number = nextNumber_++;
    f.bytes = pending_.bytes;
    f.startUs = pending_.startUs;
    f.endUs = pending_.lastUs;
    f.gapUs = pending_.gapUs;
    f.longestInnerSilenceUs = pending_.longestInnerSilenceUs;
    if (f.longestInnerSilenceUs > timing_.interCharUs) {
        f.flags |= InnerSilence;
    }
    if (f.gapUs && *f.gapUs < timing_.interFrameUs) {
        f.flags |= ShortGap;
    }
    lastFrameEndUs_ = pending_.lastUs;
    pending_.bytes.clear();
    pending_.gapUs.reset();
    pending_.longestInnerSilenceUs = 0;
    classify(f);
    pair(f, out);
    out.frames.push_back(std::move(f));
}

void Framer::classify(Frame& f) {
    const Bytes b = f.bytes;
    if (const auto upload = uploadKind(b);
        upload && !(lengthsOf(b).has(b.size()) && crcCloses(b))) {
        f.kind = *upload;
        f.crcOk = true;
        f.direction = Direction::Request;
        f.meaning =
            *upload == Kind::Upload1602 ? framewords::image1602(b) : framewords::image2004(b);
        return;
    }
    if (b.size() >= 2) {
        f.address = b[0];
        f.function = b[1];
    }
    f.crcOk = crcCloses(b);
    const bool known = b.size() >= 2 && (knownFunction(b[1]) || isException(b[1]));
    const bool outstandingHere = outstanding_ && b.size() >= 2 && outstanding_->address == b[0];
    if (!known) {
        f.kind = Kind::Unknown;
        f.direction = Direction::Unknown;
        f.meaning = framewords::reply(b);
        return;
    }
    const Lengths l = lengthsOf(b);
    if (!f.crcOk || !l.has(b.size())) {
        // A CRC that closes a frame of the wrong length for its function is a malformed
        // frame, not a CRC error: kept as bytes.
        f.kind = f.crcOk ? Kind::Unknown : Kind::CrcError;
        f.direction = outstandingHere && !f.crcOk ? Direction::Reply : Direction::Unknown;
        f.meaning = framewords::describe(
            b, framewords::Line::Modbus,
            f.direction == Direction::Reply ? framewords::Direction::Rx : framewords::Direction::Tx,
            codepage::windows1252());
        return;
    }
    const std::uint8_t function = b[1];
    const bool answersOutstanding =
        outstandingHere &&
        (outstanding_->function == function ||
         (isException(function) && outstanding_->function == (function & 0x7FU)));
    if (isException(function)) {
        f.kind = Kind::Exception;
        f.direction = Direction::Reply;
    } else {
        f.kind = Kind::Modbus;
        const std::size_t size = b.size();
        switch (function) {
            case 0x0F:
            case 0x10:
                f.direction = size == 8 ? Direction::Reply : Direction::Request;
                break;
            case 0x05:
            case 0x06:
                f.direction = answersOutstanding ? Direction::Reply : Direction::Request;
                break;
            default: {
                const bool requestShape = size == 8;
                const bool replyShape = size == 5U + b[2];
                f.direction = requestShape && replyShape
                                  ? (answersOutstanding ? Direction::Reply : Direction::Request)
                              : requestShape ? Direction::Request
                                             : Direction::Reply;
                break;
            }
        }
    }
    f.meaning = framewords::describe(
        b, framewords::Line::Modbus,
        f.direction == Direction::Request ? framewords::Direction::Tx : framewords::Direction::Rx,
        codepage::windows1252());
}

void Framer::pair(Frame& f, Output& out) {
    if (f.direction == Direction::Request && f.address) {
        if (outstanding_) {
            out.missed.push_back({outstanding_->number, outstanding_->address});
            outstanding_.reset();
        }
        // A broadcast and an upload are not answered.
        if (*f.address != 0 && f.function) {
            outstanding_ = Outstanding{f.number, *f.address, *f.function, f.endUs};
        }
        return;
    }
    if (f.direction == Direction::Reply && outstanding_ && f.address &&
        *f.address == outstanding_->address) {
        const std::int64_t c = timing_.wireTime ? timing_.characterUs : 0;
        f.turnaroundUs = std::max<std::int64_t>(0, f.startUs - c - outstanding_->endUs);
        f.requestNumber = outstanding_->number;
        outstanding_.reset();
    }
}

QString directionName(Direction d) {
    switch (d) {
        case Direction::Request:
            return QStringLiteral("request");
        case Direction::Reply:
            return QStringLiteral("reply");
        case Direction::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}

QString flagNames(unsigned flags) {
    QStringList names;
    if ((flags & InnerSilence) != 0) {
        names << QStringLiteral("inner-silence");
    }
    if ((flags & ShortGap) != 0) {
        names << QStringLiteral("short-gap");
    }
    return names.join(u',');
}

}  // namespace busframe
