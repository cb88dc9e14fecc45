// SPDX-License-Identifier: MIT
#pragma once

// tessaline-cli's command line: one subcommand and its options, checked before any port is
// touched, and the exit statuses it ends with.

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

#include "core/finder.h"

namespace cli {

enum class Command { Read, Coil, Register, Text, Find, Configure, Verify, Monitor };

// One status per kind of ending, so that a script can tell them apart.
enum class Exit : int {
    Good = 0,           // a good reply; a module found; an upload proven
    NoResponse = 1,     // nothing answered
    Usage = 2,          // a bad option or value
    Port = 3,           // the port is missing, busy or failed
    Incomplete = 4,     // fewer bytes than a reply
    CrcError = 5,       // a reply of full length with a wrong CRC
    Unreadable = 6,     // something answers, but not as a module does
    Configuration = 7,  // the settings file or a value in it cannot make an image
    NotProven = 8       // the module answers after an upload, but answered there before it too
};

struct Options {
    Command command = Command::Read;
    std::optional<QString> port;  // a number through [Ports], or a device path
    std::optional<int> baud;
    std::optional<finder::Format> format;
    std::optional<int> address;
    std::optional<int> reg;
    std::optional<QString> value;
    int model = 0;  // 216 or 420
    QString ini;
    std::vector<std::pair<QString, QString>> sets;  // --set KEY=VALUE, in order
    bool verify = false;
    bool json = false;
    std::optional<QString> log;  // CSV traffic log, appended to
    finder::Range range;
    bool wholeBus = false;
    int allowanceMs = 2;
    std::optional<int> settleMs;
    // monitor: stop after this long or this many frames (else on Ctrl+C); a pcap file.
    std::optional<double> durationS;
    std::optional<int> frames;
    std::optional<QString> pcap;
};

struct Parsed {
    std::optional<Options> options;  // nothing for --help or an error
    bool help = false;
    QString error;  // one line, without the program name
};

Parsed parse(const QStringList& arguments);  // without the program name

QString usage();

}  // namespace cli
