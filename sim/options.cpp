// SPDX-License-Identifier: MIT
#include "sim/options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

namespace korvo {

namespace {

// A whole decimal (or 0x-prefixed hexadecimal) number within low..high.
std::optional<long> number(std::string_view text, long low, long high) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string helpText() {
    return "Usage: korvo-sim [options]\n"
           "A virtual Korvo display module: a Modbus RTU slave and configuration receiver on a\n"
           "pseudo-terminal. Prints \"ready <path>\" once listening; stops on SIGINT or SIGTERM.\n"
           "\n"
           "  --model 216|420         module model (default 420)\n"
           "  --address N             slave address 1..247 (default 1)\n"
           "  --baud 9600|19200|38400 line speed (default 9600)\n"
           "  --format 8N1|8N2|8E1    character format (default 8N1)\n"
           "  --input-registers A,B,C values of input registers 0..2 (default 10,20,30)\n"
           "  --link PATH             also make a symbolic link PATH to the pseudo-terminal\n"
           "  --device PATH           use this existing serial device or tty instead\n"
           "  --no-pace               send replies at once instead of at the line speed\n"
           "  --no-reply              fault: never answer a request\n"
           "  --delay MS              fault: answer MS milliseconds late (0..60000)\n"
           "  --corrupt-crc           fault: invert the CRC low byte of every reply\n"
           "  --truncate N            fault: send only the first N bytes of each reply\n"
           "  --extra N               fault: append N stray 00 bytes to each reply (1..256)\n"
           "  --exception CODE        fault: answer every request with exception CODE (1..255)\n"
           "  --echo                  fault: send every byte back as it comes, as an adapter that\n"
           "                          hears its own transmitter does\n"
           "  --settle-ms MS          hear nothing for MS milliseconds after taking an upload,\n"
           "                          as a module writing it to EEPROM (0..60000, default 0)\n"
           "  --show                  open a window with the module's display and state\n"
           "  --screenshot FILE       with --show: save the window as PNG when stopping\n"
           "  --help                  show this text\n"
           "\n"
           "On its own pseudo-terminal the module reads, for every burst, the speed and stop\n"
           "bits the master has set on the line. A burst sent at other settings than the\n"
           "module's is noise: no reply, and a \"garbled\" line in the log. Configuration\n"
           "uploads are taken at 9600 8N1 only. Linux clears the parity flag on a\n"
           "pseudo-terminal, so 8E1 and 8N1 cannot be told apart there (the log shows the\n"
           "master's parity as ?). With --device the master's settings cannot be seen at\n"
           "all and every burst is heard.\n";
}

std::variant<Options, OptionError> parseOptions(const std::vector<std::string>& args) {
    Options o;
    using Flag = std::function<void()>;
    using Valued = std::function<std::optional<std::string>(std::string_view)>;
    const auto bad = [](const std::string& what) { return std::optional<std::string>(what); };
    const std::map<std::string, Flag, std::less<>> flags{
        {"--help", [&] { o.help = true; }},
        {"--no-pace", [&] { o.pace = false; }},
        {"--no-reply", [&] { o.module.faults.noReply = true; }},
        {"--corrupt-crc", [&] { o.module.faults.corruptCrc = true; }},
        {"--echo", [&] { o.echo = true; }},
        {"--show", [&] { o.show = true; }},
    };
    const std::map<std::string, Valued, std::less<>> valued{
        {"--model",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto m = std::ranges::find(kModels, v, &ModelTraits::option);
             if (m == kModels.end()) {
                 return bad("the model is 216 or 420");
             }
             o.module.model = m->model;
             return std::nullopt;
         }},
        {"--address",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 1, 247);
             if (!n) {
                 return bad("the address is a number 1..247");
             }
             o.module.address = static_cast<int>(*n);
             return std::nullopt;
         }},
        {"--baud",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 0, 1'000'000);
             if (!n || !isSupportedBaud(static_cast<int>(*n))) {
                 return bad("the baud rate is 9600, 19200 or 38400");
             }
             o.module.line.baud = static_cast<int>(*n);
             return std::nullopt;
         }},
        {"--format",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto f = withFormat(o.module.line, v);
             if (!f) {
                 return bad("the format is 8N1, 8N2 or 8E1");
             }
             o.module.line = *f;
             return std::nullopt;
         }},
        {"--input-registers",
         [&](std::string_view v) -> std::optional<std::string> {
             std::array<std::uint16_t, 3> values{};
             for (std::size_t i = 0; i < values.size(); ++i) {
                 const auto comma = v.find(',');
                 const bool last = i + 1 == values.size();
                 if (last != (comma == std::string_view::npos)) {
                     return bad("three values are needed, as A,B,C");
                 }
                 const auto n = number(v.substr(0, comma), 0, 65535);
                 if (!n) {
                     return bad("each value is a number 0..65535");
                 }
                 values[i] = static_cast<std::uint16_t>(*n);
                 v = last ? std::string_view() : v.substr(comma + 1);
             }
             o.module.inputRegisters = values;
             return std::nullopt;
         }},
        {"--link",
         [&](std::string_view v) -> std::optional<std::string> {
             if (v.empty()) {
                 return bad("the link needs a path");
             }
             o.link = v;
             return std::nullopt;
         }},
        {"--device",
         [&](std::string_view v) -> std::optional<std::string> {
             if (v.empty()) {
                 return bad("the device needs a path");
             }
             o.device = v;
             return std::nullopt;
         }},
        {"--screenshot",
         [&](std::string_view v) -> std::optional<std::string> {
             if (v.empty()) {
                 return bad("the screenshot needs a file name");
             }
             o.screenshot = v;
             return std::nullopt;
         }},
        {"--delay",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 0, 60000);
             if (!n) {
                 return bad("the delay is 0..60000 milliseconds");
             }
             o.delay = std::chrono::milliseconds(*n);
             return std::nullopt;
         }},
        {"--settle-ms",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 0, 60000);
             if (!n) {
                 return bad("the settling time is 0..60000 milliseconds");
             }
             o.settle = std::chrono::milliseconds(*n);
             return std::nullopt;
         }},
        {"--truncate",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 0, 255);
             if (!n) {
                 return bad("truncate takes a byte count 0..255");
             }
             o.module.faults.truncate = static_cast<std::size_t>(*n);
             return std::nullopt;
         }},
        {"--extra",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 1, 256);
             if (!n) {
                 return bad("extra takes a byte count 1..256");
             }
             o.module.faults.extra = static_cast<std::size_t>(*n);
             return std::nullopt;
         }},
        {"--exception",
         [&](std::string_view v) -> std::optional<std::string> {
             const auto n = number(v, 1, 255);
             if (!n) {
                 return bad("the exception code is 1..255");
             }
             o.module.faults.exception = static_cast<std::uint8_t>(*n);
             return std::nullopt;
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (const auto f = flags.find(arg); f != flags.end()) {
            if (inlineValue) {
                return OptionError{std::string(arg) + " takes no value"};
            }
            f->second();
            continue;
        }
        const auto v = valued.find(arg);
        if (v == valued.end()) {
            return OptionError{"unknown option " + std::string(arg)};
        }
        std::string_view value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return OptionError{std::string(arg) + " needs a value"};
        }
        if (const auto err = v->second(value)) {
            return OptionError{std::string(arg) + " " + std::string(value) + ": " + *err};
        }
    }
    if (!o.device.empty() && !o.link.empty()) {
        return OptionError{
            "--link makes a link to the pseudo-terminal; with --device there is none"};
    }
    if (!o.screenshot.empty() && !o.show) {
        return OptionError{"--screenshot saves the window of --show; give --show too"};
    }
    return o;
}

}  // namespace korvo
