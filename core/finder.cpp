// SPDX-License-Identifier: MIT
#include "core/finder.h"

#include <algorithm>

#include "core/crc16.h"
#include "core/modbus.h"

namespace finder {

namespace {

constexpr std::array<const char*, 3> FormatNames{"8N1", "8N2", "8E1"};
constexpr std::size_t ReplyLength = 7;      // address, 04, byte count 2, value, CRC
constexpr std::size_t ExceptionLength = 5;  // address, 0x84, code, CRC
constexpr std::uint8_t Read04 = 0x04;
constexpr std::uint8_t Exception04 = 0x84;

int bitsPerChar(Format f) {
    return f == Format::N81 ? 10 : 11;
}

// Characters (in tenths, to keep the half of 3.5) as wire time, rounded up.
Micros tenthsOfChars(const Line& line, long long tenths) {
    const long long bitsTimesTen = tenths * bitsPerChar(line.format);
    const long long us = (bitsTimesTen * 1'000'000 + line.baud * 10LL - 1) / (line.baud * 10LL);
    return Micros(us);
}

bool crcGood(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size();
    return n >= 3 && crc16::matches(frame.first(n - 2), frame[n - 2], frame[n - 1]);
}

}  // namespace

QString formatName(Format f) {
    return QLatin1String(FormatNames[static_cast<std::size_t>(f)]);
}

std::optional<Format> formatFromName(QStringView name) {
    for (std::size_t i = 0; i < FormatNames.size(); ++i) {
        if (name.compare(QLatin1String(FormatNames[i]), Qt::CaseInsensitive) == 0) {
            return Formats[i];
        }
    }
    return std::nullopt;
}

QString settingsString(const Line& line) {
    static constexpr std::array<const char*, 3> Suffixes{",n,8,1", ",n,8,2", ",e,8,1"};
    return QString::number(line.baud) +
           QLatin1String(Suffixes[static_cast<std::size_t>(line.format)]);
}

QString describe(const Line& line) {
    return QStringLiteral("%1 %2").arg(line.baud).arg(formatName(line.format));
}

bool supportedBaud(int baud) {
    return std::find(Bauds.begin(), Bauds.end(), baud) != Bauds.end();
}

Probe placeOf(int addressPosition, int baudPosition, int formatPosition) {
    const auto pick = [](const auto& table, int position) {
        return table[static_cast<std::size_t>(
            position >= 0 && position < static_cast<int>(table.size()) ? position : 0)];
    };
    return {{pick(Bauds, baudPosition), pick(Formats, formatPosition)}, addressPosition + 1};
}

std::vector<Probe> plan(Range range, std::optional<Probe> first) {
    std::vector<Probe> out;
    const auto add = [&out](const Probe& p) {
        if (std::find(out.begin(), out.end(), p) == out.end()) {
            out.push_back(p);
        }
    };
    if (first) {
        add(*first);
    }
    add({FactoryLine, FactoryAddress});

    std::vector<Line> lines;
    if (first) {
        lines.push_back(first->line);
    }
    if (std::find(lines.begin(), lines.end(), FactoryLine) == lines.end()) {
        lines.push_back(FactoryLine);
    }
    for (const int baud : Bauds) {
        for (const Format f : Formats) {
            const Line l{baud, f};
            if (std::find(lines.begin(), lines.end(), l) == lines.end()) {
                lines.push_back(l);
            }
        }
    }
    const int lo = std::max(range.first, LowestAddress);
    const int hi = std::min(range.last, HighestAddress);
    out.reserve(out.size() + lines.size() * static_cast<std::size_t>(std::max(0, hi - lo + 1)));
    for (const Line& l : lines) {
        for (int a = lo; a <= hi; ++a) {
            add({l, a});
        }
    }
    return out;
}

Micros charTime(const Line& line) {
    return tenthsOfChars(line, 10);
}

Micros deadTime(const Line& line, int requestBytes, Micros allowance) {
    return tenthsOfChars(line, requestBytes * 10LL + 35 + 10) + allowance;
}

Micros allowanceFor(std::size_t index, Micros allowance) {
    return index < 2 ? std::max(allowance, LikelyAllowance) : allowance;
}

Micros answerGap(const Line& line, Micros allowance) {
    return tenthsOfChars(line, 35) + allowance;
}

Micros switchPause() {
    return tenthsOfChars({Bauds.front(), Format::N82}, 35);
}

std::vector<Micros> timeLeft(std::span<const Probe> plan, int requestBytes, Micros allowance) {
    std::vector<Micros> left(plan.size() + 1, Micros{0});
    for (std::size_t i = plan.size(); i-- > 0;) {
        const bool switches = i > 0 && !(plan[i - 1].line == plan[i].line);
        left[i] = left[i + 1] + deadTime(plan[i].line, requestBytes, allowanceFor(i, allowance)) +
                  (switches ? switchPause() : Micros{0});
    }
    return left;
}

std::array<std::uint8_t, 8> probeRequest(int address) {
    const auto frame = crc16::closed(modbus::read04(static_cast<std::uint8_t>(address), 0));
    std::array<std::uint8_t, 8> out{};
    std::copy(frame.begin(), frame.end(), out.begin());
    return out;
}

Judgement judge(std::span<const std::uint8_t> request, std::span<const std::uint8_t> received,
                bool lineQuiet) {
    Judgement j;
    const auto unreadable = [&j, lineQuiet](bool complete) {
        j.verdict = complete || lineQuiet ? Verdict::Unreadable : Verdict::Waiting;
        return j;
    };
    // An adapter that hears its own transmitter hands the request back first.
    const std::size_t n = std::min(received.size(), request.size());
    if (n > 0 && std::equal(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(n),
                            request.begin())) {
        if (received.size() < request.size()) {
            // Three bytes of the request cannot begin an answer (the third is a byte count,
            // the second an exception's function): the echo, cut short by the probe's end.
            if (lineQuiet && n >= 3) {
                j.echoed = true;
                return j;
            }
            return unreadable(false);
        }
        j.echoed = true;
        received = received.subspan(request.size());
    }
    if (received.empty()) {
        return j;
    }
    const std::uint8_t address = request.empty() ? 0 : request[0];
    if (received[0] != address) {
        return unreadable(true);
    }
    if (received.size() < 2) {
        return unreadable(false);
    }
    if (received[1] == Exception04) {
        if (received.size() < ExceptionLength) {
            return unreadable(false);
        }
        if (!crcGood(received.first(ExceptionLength))) {
            return unreadable(true);
        }
        j.verdict = Verdict::Found;
        j.exceptionCode = received[2];
        return j;
    }
    if (received[1] != Read04 || received.size() < 3 || received[2] != 2) {
        return unreadable(received[1] != Read04 || received.size() >= 3);
    }
    if (received.size() < ReplyLength) {
        return unreadable(false);
    }
    if (!crcGood(received.first(ReplyLength))) {
        return unreadable(true);
    }
    j.verdict = Verdict::Found;
    j.value = static_cast<std::uint16_t>(received[3] << 8 | received[4]);
    return j;
}

std::size_t echoedPart(std::span<const std::uint8_t> request,
                       std::span<const std::uint8_t> received) {
    const auto differs =
        std::mismatch(request.begin(), request.end(), received.begin(), received.end()).first;
    return static_cast<std::size_t>(differs - request.begin());
}

namespace {

// Whether bytes open with echo: all of it, or as much as there is of them.
bool opensWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> echo) {
    return !echo.empty() && !bytes.empty() &&
           echoedPart(echo, bytes) == std::min(bytes.size(), echo.size());
}

}  // namespace

Share share(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request,
            std::span<const std::vector<std::uint8_t>> owed, bool reopened) {
    Share s;
    std::size_t pos = 0;
    std::size_t from = 0;
    // An echo that may as well be the probe's own is taken as its own.
    while (pos < received.size() && !opensWith(received.subspan(pos), request)) {
        const auto rest = received.subspan(pos);
        std::optional<std::size_t> k;
        std::size_t skip = 0;  // bytes of owed[*k] lost before the run
        for (std::size_t i = from; i < owed.size() && !k; ++i) {
            if (opensWith(rest, owed[i])) {
                k = i;
            }
        }
        if (!k && reopened && pos == 0 && !owed.empty()) {
            const std::span<const std::uint8_t> newest = owed.back();
            for (std::size_t cut = 1; cut < newest.size() && !k; ++cut) {
                if (opensWith(rest, newest.subspan(cut))) {
                    k = owed.size() - 1;
                    skip = cut;
                }
            }
        }
        if (!k) {
            break;
        }
        std::size_t end = received.size();
        for (std::size_t p = pos + std::min(owed[*k].size() - skip, rest.size()); p < end; ++p) {
            const auto tail = received.subspan(p);
            bool next = opensWith(tail, request);
            for (std::size_t i = *k + 1; i < owed.size() && !next; ++i) {
                next = opensWith(tail, owed[i]);
            }
            if (next) {
                end = p;
            }
        }
        s.earlier.push_back({*k, pos, end, skip});
        pos = end;
        from = *k + 1;
    }
    s.own = pos;
    return s;
}

std::chrono::milliseconds uploadWireTime(std::size_t bytes) {
    return std::chrono::ceil<std::chrono::milliseconds>(
        tenthsOfChars(UploadLine, static_cast<long long>(bytes) * 10));
}

std::chrono::milliseconds defaultSettle(std::size_t bytes) {
    return std::chrono::milliseconds(50 + 5 * static_cast<long long>(bytes));
}

QString answersAt(const Probe& p) {
    return QStringLiteral("Module answers at address %1, %2").arg(p.address).arg(describe(p.line));
}

QString noAnswerAt(const Probe& p) {
    return QStringLiteral(
               "No answer at address %1, %2 — check the wiring, or power the module "
               "off and on")
        .arg(p.address)
        .arg(describe(p.line));
}

QString unreadableAt(const Probe& p) {
    return QStringLiteral("Something answers at address %1, %2, unreadably")
        .arg(p.address)
        .arg(describe(p.line));
}

QString answersAsBefore(const Probe& p) {
    return answersAt(p) +
           QStringLiteral(", as it did before the upload: the upload itself is not proven");
}

}  // namespace finder
