// SPDX-License-Identifier: MIT
#pragma once

// Looking for a module whose address and line settings nobody remembers: which probes to
// send in which order, how long each may take, and what an answer to one of them means.
// Pure functions over plain values; the waiting is done by serial/modulefinder.

#include <QString>
#include <QStringView>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace finder {

using Micros = std::chrono::microseconds;

enum class Format { N81, N82, E81 };

inline constexpr std::array<int, 3> Bauds{9600, 19200, 38400};
inline constexpr std::array<Format, 3> Formats{Format::N81, Format::N82, Format::E81};

// A speed and format the module supports.
struct Line {
    int baud = 9600;
    Format format = Format::N81;
    friend bool operator==(const Line&, const Line&) = default;
};

inline constexpr Line FactoryLine{9600, Format::N81};
inline constexpr int FactoryAddress = 1;
inline constexpr int LowestAddress = 1;
inline constexpr int HighestAddress = 247;

// "8N1", "8N2", "8E1".
QString formatName(Format f);
std::optional<Format> formatFromName(QStringView name);
// The serial control's settings string: "38400,n,8,2".
QString settingsString(const Line& line);
// "38400 8N2".
QString describe(const Line& line);
// Whether baud is one of Bauds.
bool supportedBaud(int baud);

struct Probe {
    Line line;
    int address = FactoryAddress;
    friend bool operator==(const Probe&, const Probe&) = default;
};

// The place a configuration window's lists name: slave address, baud rate and data format
// as list positions. -1 (no selection) in the baud or format list reads as the first item,
// as the 20x4 image codes it.
Probe placeOf(int addressPosition, int baudPosition, int formatPosition);

struct Range {
    int first = LowestAddress;
    int last = HighestAddress;
};

// Every probe once: `first` (the main window's settings) when given, then the factory
// default, then each line in turn, first's line and the factory line before the others,
// with every address of the range. The two likeliest places are tried even outside the
// range. An empty or reversed range leaves just those two.
std::vector<Probe> plan(Range range, std::optional<Probe> first);

// Wire time of one character: start bit, 8 data bits, parity, stop bits.
Micros charTime(const Line& line);
// How long a probe waits for the first byte of an answer: the request's wire time, the
// 3.5-character silence that ends it, one character for the first reply byte and the
// turnaround allowance.
Micros deadTime(const Line& line, int requestBytes, Micros allowance);
// The allowance probe `index` of a plan waits with. The first two probes of a plan are its
// likeliest places (the main window's settings, the factory default; the one place a
// check probes): they wait at least LikelyAllowance, which costs a search almost nothing
// and spares a module that answers a little late the whole sweep.
inline constexpr Micros LikelyAllowance{20'000};
// The probes around an upload wait longer still: a module missed before the upload would
// make its answer afterwards look like proof, and one missed afterwards like a failed
// upload, while a single probe's wait costs a person at the window nothing they notice.
inline constexpr Micros CheckAllowance{100'000};
Micros allowanceFor(std::size_t index, Micros allowance);
// Once bytes came, the silence after the last one that ends the answer.
Micros answerGap(const Line& line, Micros allowance);
// Before the first probe at another line setting: a frame silence at the slowest line, so
// that a module still at the old setting cannot read the new request as the tail of the
// previous one.
Micros switchPause();
// Time left for probes plan[from..] with nothing answering, for each from (one more entry
// than probes: the last is 0).
std::vector<Micros> timeLeft(std::span<const Probe> plan, int requestBytes, Micros allowance);

// The request every probe sends: function 04, input register 0, quantity 1, with its CRC.
std::array<std::uint8_t, 8> probeRequest(int address);

enum class Verdict {
    Silent,      // nothing but, perhaps, the request echoed by the adapter
    Waiting,     // the start of something that may still become an answer
    Found,       // the probed address answers function 04, or with its exception
    Unreadable,  // something answers, but not as a module at this address would
};

struct Judgement {
    Verdict verdict = Verdict::Silent;
    bool echoed = false;                        // the request came back first and was skipped
    std::optional<std::uint16_t> value;         // register 0, for a normal answer
    std::optional<std::uint8_t> exceptionCode;  // for an exception answer
};

// What the bytes received so far after sending `request` amount to. With lineQuiet (the
// line has been silent long enough for the answer to be over), Waiting becomes Unreadable.
Judgement judge(std::span<const std::uint8_t> request, std::span<const std::uint8_t> received,
                bool lineQuiet);

// An echoing adapter hands every request back, in order, also after its probe has ended,
// and an echo is known by its bytes. `owed` lists the echoes earlier probes may still get
// back (a request, or the rest of one cut short), oldest first. Of the bytes received
// during a probe, each run that opens with an owed echo is that earlier probe's (its echo,
// then its answer, late), up to where the next echo begins: a later owed one, or that of
// `request`, where the probe's own bytes begin. With `reopened` (the port was closed and
// opened again since the newest owed echo began, which may lose bytes in between), the
// first run may also open with any tail of the newest owed echo.
struct Segment {
    std::size_t owed = 0;  // index in owed
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t lost = 0;  // leading bytes of the echo that never came (reopened)
};
struct Share {
    std::vector<Segment> earlier;
    std::size_t own = 0;  // where the probe's own bytes begin
};
Share share(std::span<const std::uint8_t> received, std::span<const std::uint8_t> request,
            std::span<const std::vector<std::uint8_t>> owed, bool reopened = false);
// How many leading bytes of received are the start of request (its echo so far).
std::size_t echoedPart(std::span<const std::uint8_t> request,
                       std::span<const std::uint8_t> received);

// One probe that met something.
struct Answer {
    Probe probe;
    Judgement judgement;
    std::vector<std::uint8_t> bytes;  // as received, echo included
    // The answer came only after its probe had ended (it was read during the next one): a
    // sign that the allowance is too short for this module or adapter.
    bool late = false;
};

struct Progress {
    Probe probe;  // the probe being sent
    int done = 0;
    int total = 0;
    Micros left{};
};

struct Summary {
    std::vector<Answer> found;
    std::vector<Answer> unreadable;
    int probes = 0;  // probes sent
    int total = 0;   // probes planned
    double seconds = 0;
    bool echoSeen = false;
    bool cancelled = false;
    QString error;  // the port failed or could not be opened; empty otherwise
};

// A checked upload: the image travels at the factory line, then the module is probed at
// the settings it carries once it has had time to store them.
inline constexpr Line UploadLine = FactoryLine;
// Wire time of an upload of this many bytes, rounded up.
std::chrono::milliseconds uploadWireTime(std::size_t bytes);
// What a module may need before it answers at its new settings: one that writes the image
// to EEPROM byte by byte takes up to about 5 ms a byte, plus a restart of its serial port.
// korvo-sim applies an upload at once.
std::chrono::milliseconds defaultSettle(std::size_t bytes);

// "Module answers at address 37, 38400 8E1" and its companions, for windows and the
// command line alike.
QString answersAt(const Probe& p);
QString noAnswerAt(const Probe& p);
QString unreadableAt(const Probe& p);
// A module that answered at the target settings before an upload answers there afterwards
// whether or not it took the image: its answer proves nothing about the upload.
QString answersAsBefore(const Probe& p);

}  // namespace finder
