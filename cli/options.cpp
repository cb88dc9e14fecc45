// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <functional>
#include <map>

namespace cli {

namespace {

// A whole decimal, or 0x-prefixed hexadecimal, number within low..high.
std::optional<int> number(const QString& text, int low, int high) {
    bool ok = false;
    const QString t = text.trimmed();
    const int v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toInt(&ok, 16)
                                                                         : t.toInt(&ok, 10);
    if (!ok || v < low || v > high) {
        return std::nullopt;
    }
    return v;
}

const std::map<QString, Command> Commands{
    {QStringLiteral("read"), Command::Read},
    {QStringLiteral("coil"), Command::Coil},
    {QStringLiteral("register"), Command::Register},
    {QStringLiteral("text"), Command::Text},
    {QStringLiteral("find"), Command::Find},
    {QStringLiteral("configure"), Command::Configure},
    {QStringLiteral("verify"), Command::Verify},
    {QStringLiteral("monitor"), Command::Monitor},
};

}  // namespace

QString usage() {
    return QStringLiteral(
        "Usage: tessaline-cli COMMAND [options]\n"
        "Tests, finds and configures a Korvo LCD module (Modbus RTU) from the command line.\n"
        "\n"
        "Commands:\n"
        "  read        function 04: read input register --register (0..255, default 0)\n"
        "  coil        function 05: write coil --register to --value on|off\n"
        "  register    function 06: write register --register with --value 0..65535\n"
        "  text        function 16: write --value (1 to 20 characters) from start register\n"
        "              --register (0..39, or 40, 50 .. 130); a character the module\n"
        "              cannot show goes out as \"?\", after a warning\n"
        "  find        look for the module over every address, speed and format\n"
        "  configure   upload the image built from section [Cfg1602] or [Cfg2004] of --ini\n"
        "  verify      ask the module at --address, --baud and --format whether it answers\n"
        "  monitor     listen to the line at --baud and --format without ever writing to\n"
        "              it: one line per frame (requests, replies, timings, flags), then\n"
        "              the figures per slave\n"
        "\n"
        "Options:\n"
        "  --port N|PATH        port number (mapped through [Ports] in modlcd.ini; COMn on\n"
        "                       Windows) or a device path; default: the main window's port\n"

        "  --baud 9600|19200|38400, --format 8N1|8N2|8E1, --address 1..247\n"
        "                       the module's line and address; default: the main window's\n"
        "  --register N, --value V   what the four requests write or read\n"
        "  --model 216|420      configure: the module model\n"
        "  --ini FILE           configure: the settings file to take the image from\n"
        "  --set KEY=VALUE      configure: use VALUE for KEY of that section (repeatable),\n"
        "                       e.g. --set Saddr=37; a value that names no item of its\n"
        "                       list, or a message over 16 characters, is refused\n"
        "  --verify             configure: ask the module at its new settings before and\n"
        "                       after the upload; verified only if it answers after, not\n"
        "                       before\n"
        "  --settle MS          configure --verify: wait after the upload before asking\n"
        "                       (default 50 ms plus 5 ms a byte of image)\n"
        "  --from N, --to N     find: the address range (default 1..247)\n"
        "  --all                find: search the whole bus instead of stopping at a module\n"
        "  --allowance MS       find, verify, configure --verify: turnaround allowed\n"
        "                       beyond the line's own times (default 2; more for slow\n"
        "                       adapters)\n"
        "  --log FILE           append every frame on the line to FILE as CSV, as the\n"
        "                       program's --log does\n"
        "  --duration S         monitor: stop after S seconds (default: at Ctrl+C)\n"
        "  --frames N           monitor: stop after N frames\n"
        "  --pcap FILE          monitor: also write the frames to FILE for Wireshark\n"
        "  --json               print one JSON object (monitor: one a frame, then one\n"
        "                       for the summary); on a failure, outcome \"error\" with\n"
        "                       the message and the status\n"
        "  --help               show this text\n"
        "\n"
        "Exit status:\n"
        "  0  good reply, module found, module answers (configure --verify: upload proven);\n"
        "     monitor: ran to its end\n"
        "  1  no response, no module\n"
        "  2  bad option or value (a --set value included); monitor: a --pcap file\n"
        "     that cannot be written\n"
        "  3  port missing, busy or failed\n"
        "  4  incomplete frame\n"
        "  5  CRC error\n"
        "  6  something answers, unreadably\n"
        "  7  the settings file cannot make a configuration image\n"
        "  8  configure --verify: the module answers at its new settings, but it answered\n"
        "     there before the upload too, so the upload itself is not proven\n");
}

Parsed parse(const QStringList& arguments) {
    Parsed out;
    Options o;
    if (arguments.isEmpty()) {
        out.error = QStringLiteral("no command given (try --help)");
        return out;
    }
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        out.help = true;
        return out;
    }
    const auto command = Commands.find(arguments.front());
    if (command == Commands.end()) {
        out.error = QStringLiteral("unknown command \"%1\" (try --help)").arg(arguments.front());
        return out;
    }
    o.command = command->second;

    using Valued = std::function<QString(const QString&)>;
    const auto ranged = [](std::optional<int>& into, int low, int high, const char* what) {
        return [&into, low, high, what](const QString& v) {
            into = number(v, low, high);
            return into ? QString()
                        : QStringLiteral("%1 must be %2..%3, not \"%4\"")
                              .arg(QLatin1String(what))
                              .arg(low)
                              .arg(high)
                              .arg(v);
        };
    };
    std::optional<int> from;
    std::optional<int> to;
    std::optional<int> allowance;
    std::optional<int> model;
    const std::map<QString, Valued> valued{
        {QStringLiteral("--port"),
         [&](const QString& v) {
             o.port = v;
             return v.trimmed().isEmpty() ? QStringLiteral("--port needs a number or a path")
                                          : QString();
         }},
        {QStringLiteral("--baud"),
         [&](const QString& v) {
             const auto b = number(v, 0, 1'000'000);
             if (!b || !finder::supportedBaud(*b)) {
                 return QStringLiteral("--baud must be 9600, 19200 or 38400, not \"%1\"").arg(v);
             }
             o.baud = b;
             return QString();
         }},
        {QStringLiteral("--format"),
         [&](const QString& v) {
             o.format = finder::formatFromName(v);
             return o.format
                        ? QString()
                        : QStringLiteral("--format must be 8N1, 8N2 or 8E1, not \"%1\"").arg(v);
         }},
        {QStringLiteral("--address"),
         ranged(o.address, finder::LowestAddress, finder::HighestAddress, "--address")},
        {QStringLiteral("--register"), ranged(o.reg, 0, 255, "--register")},
        {QStringLiteral("--value"),
         [&](const QString& v) {
             o.value = v;
             return QString();
         }},
        {QStringLiteral("--model"),
         [&](const QString& v) {
             model = number(v, 0, 1000);
             return model == 216 || model == 420
                        ? QString()
                        : QStringLiteral("--model must be 216 or 420, not \"%1\"").arg(v);
         }},
        {QStringLiteral("--ini"),
         [&](const QString& v) {
             o.ini = v;
             return QString();
         }},
        {QStringLiteral("--log"),
         [&](const QString& v) {
             o.log = v;
             return v.isEmpty() ? QStringLiteral("--log needs a file") : QString();
         }},
        {QStringLiteral("--set"),
         [&](const QString& v) {
             const qsizetype eq = v.indexOf(u'=');
             if (eq <= 0) {
                 return QStringLiteral("--set needs KEY=VALUE, not \"%1\"").arg(v);
             }
             o.sets.emplace_back(v.left(eq).trimmed(), v.mid(eq + 1));
             return QString();
         }},
        {QStringLiteral("--settle"), ranged(o.settleMs, 0, 60'000, "--settle")},
        {QStringLiteral("--from"),
         ranged(from, finder::LowestAddress, finder::HighestAddress, "--from")},
        {QStringLiteral("--to"), ranged(to, finder::LowestAddress, finder::HighestAddress, "--to")},
        {QStringLiteral("--allowance"), ranged(allowance, 0, 10'000, "--allowance")},
        {QStringLiteral("--duration"),
         [&](const QString& v) {
             bool ok = false;
             const double s = v.trimmed().toDouble(&ok);
             if (!ok || !(s > 0) || s > 1e7) {
                 return QStringLiteral("--duration must be a number of seconds above 0, not \"%1\"")
                     .arg(v);
             }
             o.durationS = s;
             return QString();
         }},
        {QStringLiteral("--frames"), ranged(o.frames, 1, 2'000'000'000, "--frames")},
        {QStringLiteral("--pcap"),
         [&](const QString& v) {
             o.pcap = v;
             return v.isEmpty() ? QStringLiteral("--pcap needs a file") : QString();
         }},
    };
    const std::map<QString, bool*> flags{
        {QStringLiteral("--verify"), &o.verify},
        {QStringLiteral("--json"), &o.json},
        {QStringLiteral("--all"), &o.wholeBus},
    };

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf(u'=');
            name.startsWith(QLatin1String("--")) && eq > 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
        }
        if (const auto flag = flags.find(name); flag != flags.end() && !inlineValue) {
            *flag->second = true;
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end()) {
            out.error = QStringLiteral("unknown option \"%1\" (try --help)").arg(arguments[i]);
            return out;
        }
        if (!inlineValue && i + 1 >= arguments.size()) {
            out.error = QStringLiteral("%1 needs a value").arg(name);
            return out;
        }
        const QString error = option->second(inlineValue ? *inlineValue : arguments[++i]);
        if (!error.isEmpty()) {
            out.error = error;
            return out;
        }
    }

    o.range = {from.value_or(finder::LowestAddress), to.value_or(finder::HighestAddress)};
    if (o.range.first > o.range.last) {
        out.error =
            QStringLiteral("--from %1 is above --to %2").arg(o.range.first).arg(o.range.last);
        return out;
    }
    o.allowanceMs = allowance.value_or(o.allowanceMs);
    o.model = model.value_or(0);
    const auto needs = [&out](bool missing, const QString& what) {
        if (missing && out.error.isEmpty()) {
            out.error = what;
        }
    };
    switch (o.command) {
        case Command::Coil:
        case Command::Register:
        case Command::Text:
            needs(!o.value, QStringLiteral("%1 needs --value").arg(arguments.front()));
            break;
        case Command::Configure:
            needs(o.model == 0, QStringLiteral("configure needs --model 216 or 420"));
            needs(o.ini.isEmpty(), QStringLiteral("configure needs --ini FILE"));
            break;
        case Command::Read:
        case Command::Find:
        case Command::Verify:
        case Command::Monitor:
            break;
    }
    if (out.error.isEmpty()) {
        out.options = o;
    }
    return out;
}

}  // namespace cli
