// SPDX-License-Identifier: MIT
#include "sim/image.h"

#include <algorithm>
#include <numeric>

#include "sim/text.h"

namespace korvo {

namespace {

struct Code {
    int value;
    int baud;
    const char* format;
};

constexpr std::array<Code, 3> kBaud1602{{{36, 9600, ""}, {18, 19200, ""}, {9, 38400, ""}}};
constexpr std::array<Code, 3> kFormat1602{{{192, 0, "8N1"}, {194, 0, "8N2"}, {208, 0, "8E1"}}};
constexpr std::array<Code, 3> kBaud2004{{{255, 9600, ""}, {25, 19200, ""}, {12, 38400, ""}}};
constexpr std::array<Code, 3> kFormat2004{{{255, 0, "8N1"}, {14, 0, "8N2"}, {38, 0, "8E1"}}};

const Code* find(const std::array<Code, 3>& table, int value) {
    for (const Code& c : table) {
        if (c.value == value) {
            return &c;
        }
    }
    return nullptr;
}

// The line settings from a baud code and a format code, or the reason they are refused.
std::optional<LineFormat> lineFrom(const std::array<Code, 3>& bauds,
                                   const std::array<Code, 3>& formats, int baudCode, int formatCode,
                                   std::string& reason) {
    const Code* b = find(bauds, baudCode);
    const Code* f = find(formats, formatCode);
    if (b == nullptr) {
        reason = "unknown baud rate code " + std::to_string(baudCode);
        return std::nullopt;
    }
    if (f == nullptr) {
        reason = "unknown data format code " + std::to_string(formatCode);
        return std::nullopt;
    }
    LineFormat line;
    line.baud = b->baud;
    return withFormat(line, f->format);
}

bool inRange(int value, int low, int high, const std::string& what, std::string& reason) {
    if (value >= low && value <= high) {
        return true;
    }
    reason = what + " " + std::to_string(value) + " is outside " + std::to_string(low) + ".." +
             std::to_string(high);
    return false;
}

std::string fieldWords(int n, int line, const DataField& f) {
    return "field " + std::to_string(n) + " (line " + std::to_string(line) + "): column " +
           std::to_string(f.location) + ", " + std::to_string(f.width) + " digit" +
           (f.width == 1 ? "" : "s") + ", " + std::to_string(f.decimals) + " after the point";
}

std::string screenWords(int entry) {
    return entry == 0 ? std::string("none") : "message " + std::to_string(entry);
}

unsigned sumBefore(std::span<const std::uint8_t> image, std::size_t end) {
    return std::accumulate(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(end), 0U) %
           256U;
}

std::string badChecksum(std::span<const std::uint8_t> image, std::size_t sumAt) {
    const unsigned sum = sumBefore(image, sumAt);
    return "bad checksum: bytes " + std::to_string(sumAt) + " and " + std::to_string(sumAt + 1) +
           " are " + hexByte(image[sumAt]) + " " + hexByte(image[sumAt + 1]) +
           ", the sum of bytes 0.." + std::to_string(sumAt - 1) + " asks for " +
           hexByte(static_cast<std::uint8_t>(sum)) + " " +
           hexByte(static_cast<std::uint8_t>(256U - sum));
}

}  // namespace

bool checksumHolds(std::span<const std::uint8_t> image, std::size_t sumAt) noexcept {
    if (image.size() < sumAt + 2) {
        return false;
    }
    const unsigned sum = sumBefore(image, sumAt);
    return image[sumAt] == sum && image[sumAt + 1] == ((256U - sum) & 0xFFU);
}

Decoded<Config1602> decode1602(std::span<const std::uint8_t> upload) {
    Decoded<Config1602> out;
    if (upload.size() != kImage1602Size) {
        out.reason = "a 16x2 image is 110 bytes, not " + std::to_string(upload.size());
        return out;
    }
    if (!checksumHolds(upload, 107)) {
        out.reason = badChecksum(upload, 107);
        return out;
    }
    if (upload[109] != 0) {
        out.reason = "byte 109 is " + hexByte(upload[109]) + ", not 00";
        return out;
    }
    Config1602 c;
    for (std::size_t m = 0; m < c.messages.size(); ++m) {
        std::copy_n(upload.begin() + static_cast<std::ptrdiff_t>(16 * m), 16,
                    c.messages[m].begin());
    }
    std::string reason;
    const auto line = lineFrom(kBaud1602, kFormat1602, upload[96], upload[97], reason);
    if (!line) {
        out.reason = reason;
        return out;
    }
    c.line = *line;
    c.address = upload[98];
    c.fields[0] = {upload[101], upload[105], upload[99]};
    c.fields[1] = {upload[102], upload[106], upload[100]};
    c.startScreen = {upload[103], upload[104]};
    bool ok = inRange(c.address, 1, 247, "slave address", reason);
    for (std::size_t i = 0; ok && i < c.fields.size(); ++i) {
        const std::string name = "field " + std::to_string(i + 1);
        ok = inRange(c.fields[i].location, 0, 13, name + " column", reason) &&
             inRange(c.fields[i].width, 1, 5, name + " width", reason) &&
             inRange(c.fields[i].decimals, 0, 4, name + " decimals", reason) &&
             inRange(c.startScreen[i], 0, 6, "start screen of line " + std::to_string(i), reason);
    }
    if (!ok) {
        out.reason = reason;
        return out;
    }
    out.config = c;
    return out;
}

Decoded<Config2004> decode2004(std::span<const std::uint8_t> upload) {
    Decoded<Config2004> out;
    if (upload.size() != kUpload2004Size) {
        out.reason = "a 20x4 upload is 23 bytes, not " + std::to_string(upload.size());
        return out;
    }
    if (!checksumHolds(upload, 20)) {
        out.reason = badChecksum(upload, 20);
        return out;
    }
    if (upload[22] != 0) {
        out.reason = "trailing byte is " + hexByte(upload[22]) + ", not 00";
        return out;
    }
    Config2004 c;
    std::string reason;
    const auto line = lineFrom(kBaud2004, kFormat2004, upload[1], upload[2], reason);
    if (!line) {
        out.reason = reason;
        return out;
    }
    c.line = *line;
    c.address = upload[0];
    c.ioDirections = upload[3];
    bool ok = inRange(c.address, 1, 247, "slave address", reason);
    for (std::size_t i = 0; ok && i < 4; ++i) {
        c.startScreen[i] = upload[4 + i];
        c.fields[i] = {upload[16 + i], upload[8 + i], upload[12 + i]};
        const std::string name = "field " + std::to_string(i + 1);
        ok =
            inRange(c.startScreen[i], 0, 20, "start screen of line " + std::to_string(i), reason) &&
            inRange(c.fields[i].width, 1, 5, name + " width", reason) &&
            inRange(c.fields[i].decimals, 0, 5, name + " decimals", reason) &&
            inRange(c.fields[i].location, 0, 18, name + " column", reason);
    }
    if (!ok) {
        out.reason = reason;
        return out;
    }
    out.config = c;
    return out;
}

std::vector<std::string> describe(const Config1602& c) {
    std::vector<std::string> out;
    out.push_back("slave address " + std::to_string(c.address) + ", " + describe(c.line));
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
        out.push_back(fieldWords(static_cast<int>(i) + 1, static_cast<int>(i), c.fields[i]));
    }
    out.push_back("start screen: line 0 " + screenWords(c.startScreen[0]) + ", line 1 " +
                  screenWords(c.startScreen[1]));
    for (std::size_t m = 0; m < c.messages.size(); ++m) {
        out.push_back("message " + std::to_string(m + 1) + ": " + quoted(c.messages[m]));
    }
    return out;
}

std::vector<std::string> describe(const Config2004& c) {
    std::vector<std::string> out;
    out.push_back("slave address " + std::to_string(c.address) + ", " + describe(c.line));
    std::string io = "IO pins 1..8:";
    for (int pin = 0; pin < 8; ++pin) {
        io += (c.ioDirections >> pin) & 1U ? " OUT" : " IN";
    }
    out.push_back(io);
    std::string screen = "start screen:";
    for (std::size_t i = 0; i < c.startScreen.size(); ++i) {
        screen += (i == 0 ? " line " : ", line ") + std::to_string(i) + " " +
                  screenWords(c.startScreen[i]);
    }
    out.push_back(screen);
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
        out.push_back(fieldWords(static_cast<int>(i) + 1, static_cast<int>(i), c.fields[i]));
    }
    return out;
}

}  // namespace korvo
