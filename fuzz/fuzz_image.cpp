// SPDX-License-Identifier: MIT
// Configuration images from both ends. Any bytes at all go through the virtual module's
// decoders (once as they are, once cut to the exact length and closed with a valid
// checksum, so that the field checks are reached). And any choices the windows allow go
// through the program's own image builders and must come out of the module's decoders as
// the same settings: the two are written separately, so this catches either one drifting
// from the image layout.

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/image1602.h"
#include "core/image2004.h"
#include "fuzz/closeimage.h"
#include "sim/image.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_image: %s\n", what);
    std::abort();
}

void checkWords(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        for (const char c : line) {
            if (static_cast<unsigned char>(c) < 0x20) {
                fail("a decoded image is told with a control character");
            }
        }
    }
}

std::vector<std::uint8_t> closed(std::vector<std::uint8_t> bytes, std::size_t size,
                                 std::size_t sumAt) {
    bytes.resize(size);
    fuzz::closeImage(bytes, sumAt);
    return bytes;
}

void decodeAnything(const std::vector<std::uint8_t>& bytes) {
    for (const auto& upload : {bytes, closed(bytes, korvo::kImage1602Size, 107)}) {
        const auto d = korvo::decode1602(upload);
        if (d.config) {
            if (upload.size() != korvo::kImage1602Size || !korvo::checksumHolds(upload, 107)) {
                fail("a 16x2 image accepted with a wrong length or checksum");
            }
            checkWords(korvo::describe(*d.config));
        } else if (d.reason.empty()) {
            fail("a 16x2 image refused without a reason");
        }
    }
    for (const auto& upload : {bytes, closed(bytes, korvo::kUpload2004Size, 20)}) {
        const auto d = korvo::decode2004(upload);
        if (d.config) {
            if (upload.size() != korvo::kUpload2004Size || !korvo::checksumHolds(upload, 20)) {
                fail("a 20x4 upload accepted with a wrong length or checksum");
            }
            checkWords(korvo::describe(*d.config));
        } else if (d.reason.empty()) {
            fail("a 20x4 upload refused without a reason");
        }
    }
}

// Any item of every list, and no selection for the lists that need none.
template <typename Choices>
void choose(FuzzedDataProvider& in, std::span<const config::ListField<Choices>> fields,
            Choices& c) {
    for (const auto& f : fields) {
        f.at(c) = in.ConsumeIntegralInRange(f.caption != nullptr ? 0 : -1, f.count - 1);
    }
}

constexpr std::array<int, 3> bauds{9600, 19200, 38400};
constexpr std::array<const char*, 3> formats{"8N1", "8N2", "8E1"};

void roundTrip1602(FuzzedDataProvider& in) {
    image1602::Choices c;
    for (QString& m : c.messages) {
        m = QString::fromLatin1(in.ConsumeRandomLengthString(20));
    }
    choose(in, image1602::listFields(), c);
    const auto image = image1602::build(c, codepage::windows1252());
    if (!image) {
        fail("no 16x2 image for choices that all have a selection");
    }
    const auto d = korvo::decode1602(image->image);
    if (!d.config) {
        std::fprintf(stderr, "refused: %s\n", d.reason.c_str());
        fail("the module refuses a 16x2 image the program built");
    }
    const korvo::Config1602& k = *d.config;
    const QByteArray text = image1602::messageBytes(c.messages, codepage::windows1252());
    for (std::size_t m = 0; m < k.messages.size(); ++m) {
        for (std::size_t i = 0; i < 16; ++i) {
            if (k.messages[m][i] !=
                static_cast<std::uint8_t>(
                    text[static_cast<qsizetype>(m) * 16 + static_cast<qsizetype>(i)])) {
                fail("16x2 message bytes differ");
            }
        }
    }
    bool same = k.address == c.address + 1 && k.line.baud == bauds[std::size_t(c.baud)] &&
                korvo::formatName(k.line) == formats[std::size_t(c.dataFormat)];
    for (std::size_t i = 0; i < 2; ++i) {
        same = same && k.fields[i].width == c.width[i] + 1 &&
               k.fields[i].decimals == c.decimalPoint[i] && k.fields[i].location == c.location[i] &&
               k.startScreen[i] == c.startLine[i];
    }
    if (!same) {
        fail("the module reads other 16x2 settings than the window chose");
    }
}

void roundTrip2004(FuzzedDataProvider& in) {
    image2004::Choices c;
    // Baud rate, data format and IO directions may be left unselected: they have a code
    // for it.
    choose(in, image2004::listFields(), c);
    const auto upload = image2004::buildUpload(c);
    if (!upload) {
        fail("no 20x4 upload for choices that all have a selection");
    }
    const auto d = korvo::decode2004(*upload);
    if (!d.config) {
        std::fprintf(stderr, "refused: %s\n", d.reason.c_str());
        fail("the module refuses a 20x4 upload the program built");
    }
    const korvo::Config2004& k = *d.config;
    std::uint8_t io = 0;
    for (std::size_t pin = 0; pin < image2004::IoPins; ++pin) {
        io |= static_cast<std::uint8_t>(c.io[pin] == 1 ? 1U << pin : 0U);
    }
    bool same = k.address == c.address + 1 &&
                k.line.baud == bauds[std::size_t(std::max(c.baud, 0))] &&
                korvo::formatName(k.line) == formats[std::size_t(std::max(c.dataFormat, 0))] &&
                k.ioDirections == io;
    for (std::size_t i = 0; i < image2004::FieldCount; ++i) {
        same = same && k.startScreen[i] == c.startLine[i] && k.fields[i].width == c.width[i] + 1 &&
               k.fields[i].decimals == c.decimalPoint[i] && k.fields[i].location == c.location[i];
    }
    if (!same) {
        fail("the module reads other 20x4 settings than the window chose");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decodeAnything(std::vector<std::uint8_t>(data, data + size));
    FuzzedDataProvider in(data, size);
    roundTrip1602(in);
    roundTrip2004(in);
    return 0;
}
