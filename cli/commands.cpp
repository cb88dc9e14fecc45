// SPDX-License-Identifier: MIT
#include "cli/commands.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <memory>
#include <variant>

#include "cli/monitor.h"
#include "cli/upload.h"
#include "core/framewords.h"
#include "core/hex.h"
#include "core/modbus.h"
#include "core/storedvalue.h"
#include "serial/exchange.h"
#include "serial/modulefinder.h"
#include "serial/mscomm.h"
#include "serial/traffic/recorder.h"
#include "settings/ansicodepage.h"
#include "settings/modINI.h"
#include "settings/ports.h"

namespace cli {

namespace {

constexpr int MaxText = 20;

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

QString hex(std::span<const std::uint8_t> bytes) {
    return hex::line(bytes).trimmed();
}

// The module's place: what the options say, else what the main window last connected with,
// read by the rules the main window restores its lists with.
finder::Probe target(const Options& o) {
    const auto line =
        storedvalue::lineSettings(ReadINI(QStringLiteral("Settings"), QStringLiteral("Setting")));
    const int slave =
        storedvalue::numberPosition(ReadINI(QStringLiteral("LCD"), QStringLiteral("Slave")), 255);
    const finder::Probe stored = finder::placeOf(slave, line.baud, line.format);
    finder::Probe p;
    if (line.baud >= 0) {
        p.line.baud = stored.line.baud;
    }
    if (line.format >= 0) {
        p.line.format = stored.line.format;
    }
    if (slave >= 0 && stored.address >= finder::LowestAddress &&
        stored.address <= finder::HighestAddress) {
        p.address = stored.address;
    }
    p.line.baud = o.baud.value_or(p.line.baud);
    p.line.format = o.format.value_or(p.line.format);
    p.address = o.address.value_or(p.address);
    return p;
}

// The serial control for --port: a number maps through [Ports] (COMn on Windows), anything
// else is the device itself. Without --port, the main window's port number.
std::variant<std::unique_ptr<MSComm>, QString> portFor(const Options& o) {
    QString given =
        o.port.value_or(ReadINI(QStringLiteral("Settings"), QStringLiteral("CommPort"))).trimmed();
    if (given.isEmpty()) {
        return QStringLiteral("no port given: use --port N or --port PATH");
    }
    bool isNumber = false;
    const int n = given.toInt(&isNumber);
    std::unique_ptr<MSComm> port;
    if (isNumber) {
        if (n < 1) {
            return QStringLiteral("there is no port number %1").arg(given);
        }
        port = std::make_unique<MSComm>(settings::portDevice);
        port->CommPort(n);
    } else {
        port = std::make_unique<MSComm>();
        port->portPath(given);
    }
    port->InputMode(MSComm::InputModeKind::Binary);
    return port;
}

finder::Summary search(MSComm& port, std::vector<finder::Probe> plan,
                       const serial::ModuleFinder::Options& options, bool showProgress,
                       QTextStream& err) {
    serial::ModuleFinder finder(port);
    finder::Summary summary;
    QEventLoop loop;
    QObject::connect(&finder, &serial::ModuleFinder::finished, &loop,
                     [&](const finder::Summary& s) {
                         summary = s;
                         loop.quit();
                     });
    QElapsedTimer shown;
    shown.start();
    if (showProgress) {
        QObject::connect(
            &finder, &serial::ModuleFinder::progress, &loop, [&](const finder::Progress& p) {
                if (shown.elapsed() < 1000) {
                    return;
                }
                shown.restart();
                err << QStringLiteral("trying address %1 at %2: %3 of %4 probes, %5 s left\n")
                           .arg(p.probe.address)
                           .arg(finder::describe(p.probe.line))
                           .arg(p.done)
                           .arg(p.total)
                           .arg(std::chrono::duration<double>(p.left).count(), 0, 'f', 1);
                err.flush();
            });
    }
    finder.start(std::move(plan), options);
    loop.exec();
    return summary;
}

void place(QJsonObject& json, const finder::Probe& p) {
    json[QStringLiteral("address")] = p.address;
    json[QStringLiteral("baud")] = p.line.baud;
    json[QStringLiteral("format")] = finder::formatName(p.line.format);
}

QJsonObject answerJson(const finder::Answer& a) {
    QJsonObject o;
    place(o, a.probe);
    if (a.judgement.value) {
        o[QStringLiteral("value")] = *a.judgement.value;
    }
    if (a.judgement.exceptionCode) {
        o[QStringLiteral("exception")] = *a.judgement.exceptionCode;
    }
    o[QStringLiteral("received")] = hex(a.bytes);
    o[QStringLiteral("late")] = a.late;
    return o;
}

// "exception 02, illegal data address": an exception reply named as the program's tooltip
// and log name it; the code alone for a code without a standard name.
QString exceptionWords(std::uint8_t code) {
    const QString name = framewords::exceptionName(code);
    return QStringLiteral("exception ") +
           (name.size() > 2 ? name.left(2) + QStringLiteral(",") + name.mid(2) : name);
}

// {"code": 2, "name": "illegal data address"}; no name for a code without one.
QJsonObject exceptionJson(std::uint8_t code) {
    QJsonObject o;
    o[QStringLiteral("code")] = code;
    const QString name = framewords::exceptionName(code);
    if (name.size() > 3) {
        o[QStringLiteral("name")] = name.mid(3);
    }
    return o;
}

Exit outcomeExit(modbus::Outcome outcome) {
    switch (outcome) {
        case modbus::Outcome::Good:
            return Exit::Good;
        case modbus::Outcome::NoResponse:
            return Exit::NoResponse;
        case modbus::Outcome::Incomplete:
            return Exit::Incomplete;
        case modbus::Outcome::CrcError:
            return Exit::CrcError;
    }
    return Exit::NoResponse;
}

QString outcomeName(modbus::Outcome outcome) {
    switch (outcome) {
        case modbus::Outcome::Good:
            return QStringLiteral("good");
        case modbus::Outcome::NoResponse:
            return QStringLiteral("no-response");
        case modbus::Outcome::Incomplete:
            return QStringLiteral("incomplete");
        case modbus::Outcome::CrcError:
            return QStringLiteral("crc-error");
    }
    return {};
}

class Runner {
  public:
    Runner(const Options& o, QTextStream& out, QTextStream& err) : o_(o), out_(out), err_(err) {
        clock_.start();
    }

    Exit run() {
        // A file that cannot make an image is reported before any port is looked at.
        if (o_.command == Command::Configure) {
            auto built = uploadFromIni(o_.model, o_.ini, o_.sets);
            if (const auto* refused = std::get_if<Refused>(&built)) {
                return failed(refused->status, refused->why);
            }
            upload_ = std::get<Upload>(std::move(built));
            for (const QString& warning : upload_.warnings) {
                warn(warning);
            }
        }
        if (o_.command == Command::Monitor) {
            return listen();
        }
        auto port = portFor(o_);
        if (auto* why = std::get_if<QString>(&port)) {
            return failed(Exit::Port, *why);
        }
        port_ = std::move(std::get<std::unique_ptr<MSComm>>(port));
        if (o_.log) {
            if (const auto why = traffic::recorder().logTo(*o_.log)) {
                return failed(Exit::Usage, *why);
            }
            traffic::recorder().setCodePage(settings::ansiCodePage());
            traffic::recorder().watch(*port_, o_.command == Command::Configure
                                                  ? (o_.model == 216 ? framewords::Line::Upload1602
                                                                     : framewords::Line::Upload2004)
                                                  : framewords::Line::Modbus);
        }
        try {
            switch (o_.command) {
                case Command::Read:
                case Command::Coil:
                case Command::Register:
                case Command::Text:
                    return exchange();
                case Command::Find:
                    return find();
                case Command::Verify:
                    return verify();
                case Command::Configure:
                    return configure();
                case Command::Monitor:
                    break;
            }
        } catch (const serial::CommError& e) {
            return failed(Exit::Port, QString::fromStdString(e.what()));
        }
        return Exit::Usage;
    }

  private:
    Exit failed(Exit status, const QString& why) {
        err_ << "tessaline-cli: " << why << '\n';
        err_.flush();
        if (o_.json) {
            // A script that parses the output gets an object to parse on failure too.
            print(cli::errorJson(why, status), {});
        }
        return status;
    }

    void warn(const QString& what) {
        err_ << "tessaline-cli: warning: " << what << '\n';
        err_.flush();
    }

    void print(QJsonObject json, const QStringList& lines) {
        if (o_.json) {
            json[QStringLiteral("command")] = commandName();
            json[QStringLiteral("seconds")] = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
            out_ << QJsonDocument(json).toJson(QJsonDocument::Compact) << '\n';
        } else {
            for (const QString& line : lines) {
                out_ << line << '\n';
            }
        }
        out_.flush();
    }

    QString commandName() const {
        static const std::array<const char*, 8> names{"read", "coil",      "register", "text",
                                                      "find", "configure", "verify",   "monitor"};
        return QLatin1String(names[static_cast<std::size_t>(o_.command)]);
    }

    // The monitor opens the device itself, through no serial control: a port number maps
    // through [Ports] as for the other commands.
    Exit listen() {
        QString given =
            o_.port.value_or(ReadINI(QStringLiteral("Settings"), QStringLiteral("CommPort")))
                .trimmed();
        if (given.isEmpty()) {
            return failed(Exit::Port, QStringLiteral("no port given: use --port N or --port PATH"));
        }
        bool isNumber = false;
        const int n = given.toInt(&isNumber);
        if (isNumber) {
            if (n < 1) {
                return failed(Exit::Port, QStringLiteral("there is no port number %1").arg(given));
            }
            given = settings::portDevice(n);
        }
        const finder::Line at = target(o_).line;
        serial::LineSettings line;
        line.baud = at.baud;
        line.parity = at.format == finder::Format::E81 ? 'e' : 'n';
        line.stopBits = at.format == finder::Format::N82 ? 2 : 1;
        return monitor(o_, given, line, out_, err_);
    }

    serial::ModuleFinder::Options finderOptions() const {
        serial::ModuleFinder::Options f;
        f.allowance = std::chrono::milliseconds(o_.allowanceMs);
        f.wholeBus = o_.wholeBus;
        return f;
    }

    // One of the main window's four requests: the same frame, the same fixed wait, the same
    // four outcomes.
    Exit exchange() {
        const finder::Probe at = target(o_);
        const auto slave = static_cast<std::uint8_t>(at.address);
        const int reg = o_.reg.value_or(0);
        std::vector<std::uint8_t> frame;
        modbus::ExchangeShape shape{};
        switch (o_.command) {
            case Command::Read:
                frame = modbus::read04(slave, reg);
                shape = modbus::shapeOf(modbus::Command::Read04);
                break;
            case Command::Coil: {
                const QString v = o_.value->trimmed().toLower();
                const bool on = v == QLatin1String("on") || v == QLatin1String("1") ||
                                v == QLatin1String("0xff00");
                if (!on && v != QLatin1String("off") && v != QLatin1String("0") &&
                    v != QLatin1String("0x0000")) {
                    return failed(Exit::Usage,
                                  QStringLiteral("coil --value must be on or off, not \"%1\"")
                                      .arg(*o_.value));
                }
                frame = modbus::coil05(slave, reg, on ? modbus::Coil::On : modbus::Coil::Off);
                shape = modbus::shapeOf(modbus::Command::Coil05);
                break;
            }
            case Command::Register: {
                bool ok = false;
                const QString v = o_.value->trimmed();
                const int value = v.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                      ? v.mid(2).toInt(&ok, 16)
                                      : v.toInt(&ok, 10);
                if (!ok || value < 0 || value > 0xFFFF) {
                    return failed(
                        Exit::Usage,
                        QStringLiteral("register --value must be 0..65535, not \"%1\"").arg(v));
                }
                frame = modbus::register06(slave, reg, value >> 8, value & 0xFF);
                shape = modbus::shapeOf(modbus::Command::Register06);
                break;
            }
            case Command::Text: {
                const int position = textPosition(reg);
                if (position < 0) {
                    return failed(Exit::Usage,
                                  QStringLiteral("text --register must be 0..39, or 40, 50 .. "
                                                 "130, not %1")
                                      .arg(reg));
                }
                // A write of no registers is refused by every module.
                if (o_.value->isEmpty()) {
                    return failed(Exit::Usage,
                                  QStringLiteral("text --value is empty; type a message"));
                }
                if (o_.value->size() > MaxText) {
                    return failed(Exit::Usage,
                                  QStringLiteral("text --value has %1 characters; at most %2 fit")
                                      .arg(o_.value->size())
                                      .arg(MaxText));
                }
                if (const QString odd = codepage::unshowable(settings::ansiCodePage(), *o_.value);
                    !odd.isEmpty()) {
                    warn(unshowableWarning(QStringLiteral("text --value"), odd));
                }
                frame = modbus::message16(slave, position,
                                          settings::ansiCodePage().fromUnicode(*o_.value));
                shape = modbus::shapeOf(modbus::Command::Message16, frame[6]);
                break;
            }
            default:
                break;
        }
        port_->Settings(finder::settingsString(at.line));
        port_->PortOpen(true);
        const exchange::Result r = exchange::run(*port_, frame, shape);
        if (!r.outcome) {
            throw serial::CommError(r.failure.toStdString());
        }
        port_->PortOpen(false);
        const modbus::Outcome outcome = *r.outcome;
        const std::optional<std::uint8_t> exception = r.exceptionCode;

        QJsonObject json;
        place(json, at);
        json[QStringLiteral("outcome")] = outcomeName(outcome);
        json[QStringLiteral("sent")] = hex(r.sent);
        json[QStringLiteral("received")] = hex(bytesOf(r.received));
        QStringList lines{QStringLiteral("sent:     ") + hex(r.sent)};
        if (outcome == modbus::Outcome::Good) {
            const auto reply =
                bytesOf(r.received).first(static_cast<std::size_t>(shape.replyLength));
            lines << QStringLiteral("received: ") + hex(reply);
            if (o_.command == Command::Read) {
                const int value = reply[3] << 8 | reply[4];
                json[QStringLiteral("value")] = value;
                lines << QStringLiteral("value:    %1").arg(value);
            }
        } else if (exception.has_value()) {
            const std::uint8_t code = exception.value_or(0);
            json[QStringLiteral("exception")] = exceptionJson(code);
            lines << QStringLiteral("received: %1: %2")
                         .arg(modbus::outcomeText(outcome), exceptionWords(code));
        } else {
            lines << QStringLiteral("received: ") + modbus::outcomeText(outcome);
        }
        print(json, lines);
        return outcomeExit(outcome);
    }

    // The function 16 list position that shows this start register, or -1.
    static int textPosition(int reg) {
        for (int p = 0; p <= 49; ++p) {
            if (modbus::startAddress16(p) == reg) {
                return p;
            }
        }
        return -1;
    }

    Exit find() {
        const auto plan = finder::plan(o_.range, target(o_));
        const auto s = search(*port_, plan, finderOptions(), !o_.json, err_);
        return report(s);
    }

    Exit verify() {
        const finder::Probe at = target(o_);
        auto options = finderOptions();
        options.wholeBus = false;
        const auto s = search(*port_, {at}, options, false, err_);
        return reportVerified(s, at, {}, {});
    }

    Exit configure() {
        const Upload& upload = upload_;
        port_->Settings(finder::settingsString(finder::UploadLine));
        port_->PortOpen(true);
        auto options = finderOptions();
        options.wholeBus = false;
        bool answeredBefore = false;
        if (o_.verify) {
            // A module already answering where the upload is to put it answers there
            // afterwards too, whether or not it takes the image.
            auto generous = options;
            generous.allowance = std::max(options.allowance, finder::CheckAllowance);
            const auto before = search(*port_, {upload.target}, generous, false, err_);
            if (!before.error.isEmpty()) {
                return failed(Exit::Port, before.error);
            }
            answeredBefore = !before.found.empty();
        }
        port_->Output(upload.bytes);
        QJsonObject json;
        place(json, upload.target);
        json[QStringLiteral("model")] = o_.model;
        json[QStringLiteral("bytes")] = static_cast<int>(upload.bytes.size());
        json[QStringLiteral("checksum")] = upload.checksum;
        const QString sent =
            QStringLiteral(
                "Sent the %1 configuration (%2 bytes, checksum 0x%3) "
                "at 9600 8N1: address %4, %5")
                .arg(o_.model == 216 ? QLatin1String("16x2") : QLatin1String("20x4"))
                .arg(upload.bytes.size())
                .arg(hex::byte(static_cast<std::uint8_t>(upload.checksum)))
                .arg(upload.target.address)
                .arg(finder::describe(upload.target.line));
        if (!o_.verify) {
            // Closing waits for the image to leave the line.
            port_->PortOpen(false);
            print(json, {sent});
            return Exit::Good;
        }
        const auto n = static_cast<std::size_t>(upload.bytes.size());
        options.startDelay =
            finder::uploadWireTime(n) +
            (o_.settleMs ? std::chrono::milliseconds(*o_.settleMs) : finder::defaultSettle(n));
        const auto s = search(*port_, {upload.target}, options, false, err_);
        port_->PortOpen(false);
        json[QStringLiteral("answeredBefore")] = answeredBefore;
        return reportVerified(s, upload.target, json, {sent}, answeredBefore);
    }

    Exit report(const finder::Summary& s) {
        if (!s.error.isEmpty()) {
            return failed(Exit::Port, s.error);
        }
        QJsonObject json;
        QStringList lines;
        json[QStringLiteral("found")] = !s.found.empty();
        json[QStringLiteral("probes")] = s.probes;
        json[QStringLiteral("echo")] = s.echoSeen;
        if (!s.found.empty()) {
            const QJsonObject first = answerJson(s.found.front());
            for (auto it = first.begin(); it != first.end(); ++it) {
                json[it.key()] = it.value();
            }
        }
        QJsonArray modules;
        for (const auto& a : s.found) {
            modules.append(answerJson(a));
            lines << finder::answersAt(a.probe) +
                         (a.late ? QStringLiteral(" (late: raise --allowance)") : QString());
        }
        QJsonArray unreadable;
        for (const auto& a : s.unreadable) {
            unreadable.append(answerJson(a));
            lines << finder::unreadableAt(a.probe);
        }
        json[QStringLiteral("modules")] = modules;
        json[QStringLiteral("unreadable")] = unreadable;
        json[QStringLiteral("outcome")] =
            s.found.empty() ? QStringLiteral("no-response") : QStringLiteral("good");
        if (s.found.empty()) {
            lines << QStringLiteral("No module found");
        }
        lines << QStringLiteral("%1 probes in %2 s%3")
                     .arg(s.probes)
                     .arg(s.seconds, 0, 'f', 2)
                     .arg(s.echoSeen ? QStringLiteral("; the adapter echoes what it sends")
                                     : QString());
        print(json, lines);
        if (!s.found.empty()) {
            return Exit::Good;
        }
        return s.unreadable.empty() ? Exit::NoResponse : Exit::Unreadable;
    }

    // answeredBefore: the module answered at `at` before an upload, so that its answer now
    // does not prove the upload.
    Exit reportVerified(const finder::Summary& s, const finder::Probe& at, QJsonObject json,
                        QStringList lines, bool answeredBefore = false) {
        if (!s.error.isEmpty()) {
            return failed(Exit::Port, s.error);
        }
        const bool answers = !s.found.empty();
        place(json, at);
        json[QStringLiteral("verified")] = answers && !answeredBefore;
        json[QStringLiteral("probes")] = s.probes;
        json[QStringLiteral("outcome")] =
            answers ? QStringLiteral("good") : QStringLiteral("no-response");
        if (answers && s.found.front().judgement.value) {
            json[QStringLiteral("value")] = *s.found.front().judgement.value;
        }
        if (answers) {
            lines << (answeredBefore ? finder::answersAsBefore(at) : finder::answersAt(at));
        } else if (!s.unreadable.empty()) {
            lines << finder::unreadableAt(at);
        } else {
            lines << finder::noAnswerAt(at);
        }
        print(json, lines);
        if (answers) {
            return answeredBefore ? Exit::NotProven : Exit::Good;
        }
        return s.unreadable.empty() ? Exit::NoResponse : Exit::Unreadable;
    }

    const Options& o_;
    QTextStream& out_;
    QTextStream& err_;
    QElapsedTimer clock_;
    std::unique_ptr<MSComm> port_;
    Upload upload_;
};

}  // namespace

QJsonObject errorJson(const QString& message, Exit status) {
    return {{QStringLiteral("outcome"), QStringLiteral("error")},
            {QStringLiteral("message"), message},
            {QStringLiteral("status"), static_cast<int>(status)}};
}

Exit run(const Options& options, QTextStream& out, QTextStream& err) {
    return Runner(options, out, err).run();
}

}  // namespace cli
