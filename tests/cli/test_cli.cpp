// SPDX-License-Identifier: MIT
// tessaline-cli against korvo-sim over a pseudo-terminal: each command with its exit status
// and JSON fields, run in the test's own process; the program itself for what only its
// main() does (usage errors, statuses, help).

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/options.h"
#include "serial/mscomm.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

struct Result {
    int status = -1;
    QJsonObject json;
    QString err;
};

Result run(const QStringList& args) {
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    const auto parsed = cli::parse(args + QStringList{"--json"});
    if (!parsed.options) {
        return {static_cast<int>(cli::Exit::Usage), {}, parsed.error};
    }
    const int status = static_cast<int>(cli::run(*parsed.options, o, e));
    return {status, QJsonDocument::fromJson(out.toUtf8()).object(), err};
}

Result program(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TESSALINE_CLI), args);
    if (!p.waitForFinished(60'000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, QStringLiteral("did not end")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QJsonDocument::fromJson(p.readAllStandardOutput()).object(),
            QString::fromUtf8(p.readAllStandardError())};
}

// Whether korvo-sim's log, from `from` on, proves that the module answered only after the
// program had read (`readBy`, local time, taken once the run was over): the reply was not
// sent because nobody had the line open any more, it was held up and its last byte went
// out after the read, or the module read a burst only once the program had moved the line
// on to other settings (garbled). On a busy machine the module's process can be held up
// that long; the program is not at fault then, and nothing else earns a second run.
// Returns the line of the log that proves it, or nothing.
QString moduleLate(SimProcess& korvo, qsizetype from, QTime readBy) {
    const auto answered = [&] {
        const QString log = korvo.log().mid(from);
        return log.contains(QLatin1String(" tx ")) || log.contains(QLatin1String("not sent")) ||
               log.contains(QLatin1String("garbled"));
    };
    for (QDeadlineTimer deadline(3000); !answered() && !deadline.hasExpired();) {
        QTest::qWait(10);
    }
    // Once the module took an upload, what it heard before is the check that asks at the
    // new settings before the upload, garbled at the old ones by design: no proof.
    QString log = korvo.log().mid(from);
    if (const auto taken = log.lastIndexOf(QLatin1String("now answering as")); taken >= 0) {
        log = log.mid(taken);
    }
    for (const QString& line : log.split(u'\n')) {
        if (line.contains(QLatin1String("no master has the line open")) ||
            line.contains(QLatin1String("garbled"))) {
            return line;
        }
        // Stamped when the last byte went out (a millisecond at most before it).
        const QTime last =
            QTime::fromString(line.section(u' ', 0, 0), QStringLiteral("HH:mm:ss.zzz"));
        if (line.contains(QLatin1String("reply held up")) && last.isValid() && last > readBy) {
            return line + QStringLiteral(" (read by %1)").arg(readBy.toString("HH:mm:ss.zzz"));
        }
    }
    return {};
}

// Runs a command against korvo-sim, and again, at most three times in all, only when
// korvo-sim's log proves that the module answered late; each such run is said in the
// test's output. A late module can leave even the expected status for another reason (a
// reply cut short reads as incomplete, as a short one does), so the log is asked either
// way. `runs` counts the runs made.
template <typename Command>
Result onModule(SimProcess& korvo, Command command, int* runs = nullptr) {
    for (int attempt = 1;; ++attempt) {
        const qsizetype from = korvo.log().size();
        Result r = command();
        const QTime readBy = QTime::currentTime();
        if (runs != nullptr) {
            ++*runs;
        }
        const QString proof = moduleLate(korvo, from, readBy);
        if (attempt == 3 || proof.isEmpty()) {
            return r;
        }
        qInfo(
            "korvo-sim answered only after the program had read (status %d; korvo-sim: %s): "
            "a busy machine held the module up; running the command again",
            r.status, qPrintable(proof));
    }
}

Result runOnModule(SimProcess& korvo, const QStringList& args) {
    return onModule(korvo, [&args] { return run(args); });
}

QString formatOf(bool twoStopBits) {
    return twoStopBits ? QStringLiteral("8N2") : QStringLiteral("8N1");
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT
    std::unique_ptr<IniFolder> ini_;

  private slots:
    void init() { ini_ = std::make_unique<IniFolder>(); }
    void cleanup() { ini_.reset(); }

    void requests_data() {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("value");  // -1: none
        QTest::newRow("read") << QStringList{} << QStringList{"read", "--register", "1"} << 0
                              << "good" << 20;
        QTest::newRow("coil") << QStringList{} << QStringList{"coil", "--value", "on"} << 0
                              << "good" << -1;
        QTest::newRow("register") << QStringList{}
                                  << QStringList{"register", "--register", "3", "--value", "0x1234"}
                                  << 0 << "good" << -1;
        QTest::newRow("text") << QStringList{}
                              << QStringList{"text", "--register", "50", "--value", "HELLO"} << 0
                              << "good" << -1;
        QTest::newRow("no response")
            << QStringList{"--no-reply"} << QStringList{"read"} << 1 << "no-response" << -1;
        QTest::newRow("incomplete")
            << QStringList{"--truncate", "3"} << QStringList{"read"} << 4 << "incomplete" << -1;
        QTest::newRow("crc error")
            << QStringList{"--corrupt-crc"} << QStringList{"read"} << 5 << "crc-error" << -1;
    }
    void requests() {
        QFETCH(QStringList, sim);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, outcome);
        QFETCH(int, value);
        SimProcess korvo;
        const QString path =
            korvo.start(QStringList{"--address", "7", "--baud", "19200", "--format", "8N2"} + sim);
        const Result r =
            runOnModule(korvo, args + QStringList{"--port", path, "--address", "7", "--baud",
                                                  "19200", "--format", "8N2"});
        QCOMPARE(r.status, status);
        QCOMPARE(r.json["outcome"].toString(), outcome);
        QCOMPARE(r.json["value"].toInt(-1), value);
        QCOMPARE(r.json["address"].toInt(), 7);
        QCOMPARE(r.json["baud"].toInt(), 19200);
        QCOMPARE(r.json["format"].toString(), QStringLiteral("8N2"));
        QVERIFY(korvo.log().contains(QLatin1String("rx ") + r.json["sent"].toString()));
    }

    // Without --address, --baud and --format the module is where the main window last
    // connected, read from modlcd.ini by the main window's own rules.
    void storedTarget() {
        ini_->write("[Settings]\r\nSetting=19200,n,8,2\r\n[LCD]\r\nSlave=7\r\n");
        SimProcess korvo;
        const QString path = korvo.start({"--address", "7", "--baud", "19200", "--format", "8N2"});
        const Result r = runOnModule(korvo, {"read", "--register", "1", "--port", path});
        QCOMPARE(r.json["outcome"].toString(), QStringLiteral("good"));
        QCOMPARE(r.json["address"].toInt(), 7);
        QCOMPARE(r.json["baud"].toInt(), 19200);
        QCOMPARE(r.json["format"].toString(), QStringLiteral("8N2"));
    }

    // The same CSV as the program's traffic log, the exception named, appended run by run.
    void logFile() {
        SimProcess korvo;
        const QString path = korvo.start({"--exception", "2"});
        const QString csv = ini_->path() + QStringLiteral("/cli.csv");
        int runs = 0;
        for (int run = 0; run < 2; ++run) {
            const Result r = onModule(
                korvo,
                [&] {
                    return ::program({"read", "--port", path, "--log", csv});
                },
                &runs);
            QCOMPARE(r.status, 4);
        }
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.startsWith(QLatin1String("ms,time,port,device,direction,bytes,meaning")),
                 qPrintable(text));
        QCOMPARE(text.count(QLatin1String("ms,time")), 1);
        QCOMPARE(text.count(QLatin1String(",tx,01 04 00 00 00 01 31 CA,")), runs);
        // A port given by its path is named by it, not by a port number it never had.
        QCOMPARE(text.count(QStringLiteral(",%1,%1,tx,").arg(path)), runs);
        QVERIFY2(text.contains(QLatin1String("exception 02: illegal data address")),
                 qPrintable(text));
        const Result refused = ::program({"read", "--port", path, "--log", "/nonexistent/x.csv"});
        QCOMPARE(refused.status, 2);
        QVERIFY(refused.err.contains(QLatin1String("/nonexistent/x.csv")));
    }

    // Rows appended to a file that holds other text start on a line of their own.
    void logAppendsOnItsOwnLine_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("last line without line end") << QByteArray("kept,as,it,was");
        QTest::newRow("last line ended in LF") << QByteArray("kept,as,it,was\n");
        QTest::newRow("last line ended in CRLF") << QByteArray("kept,as,it,was\r\n");
    }
    void logAppendsOnItsOwnLine() {
        QFETCH(QByteArray, before);
        SimProcess korvo;
        const QString path = korvo.start({});
        const QString csv = ini_->path() + QStringLiteral("/kept.csv");
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(before) == before.size());
        f.close();
        QCOMPARE(::program({"read", "--port", path, "--log", csv}).status, 0);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QByteArray kept = before;
        if (!kept.endsWith('\n')) {
            kept += "\r\n";
        }
        QVERIFY2(text.startsWith(kept), text.constData());
        const QByteArray firstRow = text.mid(kept.size()).split('\n').front();
        QVERIFY2(firstRow.contains(",tx,01 04 00 00 00 01 31 CA,"), text.constData());
    }

    void find_data() {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("address");  // of the module found
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("format");
        auto* random = QRandomGenerator::global();
        const int address = 5 + static_cast<int>(random->bounded(235));
        const int baud = finder::Bauds[random->bounded(3)];
        const QString format = formatOf(random->bounded(2) == 1);
        QTest::newRow("module") << QStringList{"--address", QString::number(address),
                                               "--baud",    QString::number(baud),
                                               "--format",  format}
                                << 0 << address << baud << format;
        QTest::newRow("behind an echo") << QStringList{"--echo"} << 0 << 1 << 9600 << "8N1";
        QTest::newRow("silent") << QStringList{"--address", "100", "--no-reply"} << 1 << 0 << 0
                                << "";
        QTest::newRow("corrupt") << QStringList{"--address", "100", "--corrupt-crc"} << 6 << 0 << 0
                                 << "";
    }
    void find() {
        QFETCH(QStringList, sim);
        QFETCH(int, status);
        QFETCH(int, address);
        QFETCH(int, baud);
        QFETCH(QString, format);
        SimProcess korvo;
        const QString path = korvo.start(sim);
        // The range is narrowed around the module to keep the test short; the main window's
        // settings (9600 8N1, address 1 here) are tried first all the same. korvo-sim reads
        // the line's settings when it gets round to a burst: on a busy machine that can be
        // after the finder has moved on, so each probe waits long enough for it.
        const int around = address > 2 ? address : 100;
        const Result r = run({"find", "--port", path, "--from", QString::number(around - 2), "--to",
                              QString::number(around + 2), "--baud", "9600", "--format", "8N1",
                              "--address", "1", "--allowance", "150"});
        QCOMPARE(r.status, status);
        QCOMPARE(r.json["found"].toBool(), status == 0);
        QCOMPARE(r.json["echo"].toBool(), sim.contains("--echo"));
        if (status == 0) {
            QCOMPARE(r.json["outcome"].toString(), QStringLiteral("good"));
            QCOMPARE(r.json["address"].toInt(), address);
            QCOMPARE(r.json["baud"].toInt(), baud);
            QCOMPARE(r.json["format"].toString(), format);
            QCOMPARE(r.json["value"].toInt(), 10);
        } else {
            QCOMPARE(r.json["outcome"].toString(), QStringLiteral("no-response"));
            QCOMPARE(r.json["probes"].toInt(), 1 + 9 * 5);
            QCOMPARE(r.json["unreadable"].toArray().isEmpty(), status == 1);
        }
    }

    void verify() {
        SimProcess korvo;
        const QString path = korvo.start({"--address", "9", "--baud", "38400", "--format", "8N2"});
        // As in find, each probe waits long enough for korvo-sim on a busy machine.
        const QStringList at{"verify",   "--port", path,          "--baud", "38400",
                             "--format", "8N2",    "--allowance", "400"};
        Result r = run(at + QStringList{"--address", "9"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.json["verified"].toBool());
        QCOMPARE(r.json["probes"].toInt(), 1);
        r = run(at + QStringList{"--address", "8"});
        QCOMPARE(r.status, 1);
        QVERIFY(!r.json["verified"].toBool());
        QCOMPARE(r.json["outcome"].toString(), QStringLiteral("no-response"));
    }

    // The image built from a saved section with a per-unit address moves the module, and the
    // check finds it there.
    void configure_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("place");  // as korvo-sim logs it
        QTest::addColumn<int>("bytes");
        QTest::newRow("20x4") << "420" << QByteArray("[Cfg2004]\r\nSaddr=5\r\nCset=19200,n,8,2\r\n")
                              << "slave 37 at 19200 8N2" << 23;
        QTest::newRow("16x2") << "216"
                              << QByteArray("[Cfg1602]\r\nCset=38400,e,8,1\r\nUDT1=Tessaline\r\n")
                              << "slave 37 at 38400 8E1" << 110;
    }
    void configure() {
        QFETCH(QString, model);
        QFETCH(QByteArray, ini);
        QFETCH(QString, place);
        QFETCH(int, bytes);
        SimProcess korvo;
        const QString path = korvo.start({"--model", model});
        QTemporaryDir dir;
        const QString file = dir.filePath("line.ini");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size());
        f.close();
        const Result r = runOnModule(
            korvo, {"configure", "--port", path, "--model", model, "--ini", file, "--set",
                    "Saddr=37", "--verify", "--settle", "0", "--allowance", "400"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.json["verified"].toBool());
        QCOMPARE(r.json["address"].toInt(), 37);
        QCOMPARE(r.json["bytes"].toInt(), bytes);
        QVERIFY2(korvo.log().contains("now answering as " + place), qPrintable(korvo.log()));
        QCOMPARE(QString("slave %1 at %2 %3")
                     .arg(r.json["address"].toInt())
                     .arg(r.json["baud"].toInt())
                     .arg(r.json["format"].toString()),
                 place);
    }

    // A check proves the upload only when the module answers at its new settings after it
    // and not before: one still storing the image is not yet there, one that was already
    // there answers whether or not it took the image.
    void configureProves_data() {
        QTest::addColumn<QStringList>("module");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("settle");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QString at = "address 15, 38400 8N2";
        QTest::newRow("asked while still storing") << QStringList{"--settle-ms", "1000"} << "420"
                                                   << "50" << 1 << "No answer at " + at;
        QTest::newRow("asked once stored") << QStringList{"--settle-ms", "1000"} << "420"
                                           << "2500" << 0 << "Module answers at " + at;
        // A 20x4 module ignores the 16x2 image.
        QTest::newRow("already there, image not taken")
            << QStringList{"--address", "15", "--baud", "38400", "--format", "8N2"} << "216"
            << "0" << 8
            << "Module answers at " + at +
                   ", as it did before the upload: the upload itself is not proven";
    }
    void configureProves() {
        QFETCH(QStringList, module);
        QFETCH(QString, model);
        QFETCH(QString, settle);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString file = dir.filePath("line.ini");
        QFile(file).open(QIODevice::WriteOnly);
        // A generous allowance: this checks the verdict, not how soon after its probe a
        // module on a busy machine answers.
        const auto configure = [&](const QString& port) {
            const QStringList upload{"configure", "--port", port, "--model", model, "--ini", file};
            return upload + QStringList{"--set",    "Saddr=15", "--set", "Cset=38400,n,8,2",
                                        "--verify", "--settle", settle,  "--allowance",
                                        "400"};
        };
        {
            SimProcess korvo;
            const Result r = run(configure(korvo.start(module)));
            QCOMPARE(r.status, status);
            QCOMPARE(r.json["verified"].toBool(), status == 0);
            QCOMPARE(r.json["answeredBefore"].toBool(), status == 8);
        }
        // The words a technician reads, from the program itself, against a module as new.
        SimProcess korvo;
        QProcess p;
        p.start(QStringLiteral(TESSALINE_CLI), configure(korvo.start(module)));
        QVERIFY(p.waitForFinished(60'000));
        QCOMPARE(p.exitCode(), status);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(text.contains(says), qPrintable(text + korvo.log()));
    }

    // What only the program's own main() does: statuses and one line on standard error for
    // what cannot run, and a help text that lists the statuses.
    void program_data() {
        // An empty settings file: every list on its first item, the 16x2's speed unset.
        static QTemporaryDir dir;
        const QString ini = dir.filePath("empty.ini");
        QFile(ini).open(QIODevice::WriteOnly);
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no command") << QStringList{} << 2 << "no command";
        QTest::newRow("unknown option") << QStringList{"read", "--speed", "9600"} << 2 << "--speed";
        QTest::newRow("unsupported speed") << QStringList{"read", "--baud", "1200"} << 2 << "1200";
        QTest::newRow("missing port") << QStringList{"read", "--port", "/dev/no-such-tty"} << 3
                                      << "Port /dev/no-such-tty cannot be opened";
        QTest::newRow("configure without a file")
            << QStringList{"configure", "--model", "420"} << 2 << "--ini";
        QTest::newRow("unknown key")
            << QStringList{"configure", "--model", "420", "--ini", ini, "--set", "Sadr=5"} << 7
            << "no key Sadr";
        // A value given for one unit names an item or fits its box, or nothing goes out.
        QTest::newRow("address out of range")
            << QStringList{"configure", "--model", "420", "--ini", ini, "--set", "Saddr=300"} << 2
            << "Saddr=300";
        QTest::newRow("speed naming no item")
            << QStringList{"configure", "--model", "420", "--ini", ini, "--set", "Cset=57600,n,8,1"}
            << 2 << "Cset=57600,n,8,1";
        QTest::newRow("message longer than its box")
            << QStringList{"configure",
                           "--model",
                           "216",
                           "--ini",
                           ini,
                           "--set",
                           "UDT1=Nineteen chars here"}
            << 2 << "--set UDT1 has 19 characters; at most 16 fit";
        QTest::newRow("no speed for a 16x2")
            << QStringList{"configure", "--model", "216", "--ini", ini} << 7 << "Baud Rate";
        QTest::newRow("missing file")
            << QStringList{"configure", "--model", "420", "--ini", "/nonexistent/line.ini"} << 7
            << "/nonexistent/line.ini";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "";
    }
    void program() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Result r = ::program(args);
        QCOMPARE(r.status, status);
        if (status != 0) {
            QCOMPARE(r.err.count(u'\n'), 1);
            QVERIFY2(r.err.startsWith("tessaline-cli: ") && r.err.contains(says),
                     qPrintable(r.err));
        }
    }

    // A message of nothing would be a write of no registers, which no module accepts: it is
    // refused as a bad value and nothing goes out.
    void emptyMessage() {
        SimProcess korvo;
        const QString path = korvo.start({});
        const Result r = ::program({"text", "--value", "", "--port", path});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY2(r.err.startsWith("tessaline-cli: text --value is empty"), qPrintable(r.err));
        QVERIFY2(!korvo.log().contains(QLatin1String("rx ")), qPrintable(korvo.log()));
    }

    // With --json a failure still prints one object, for a script's parser: the outcome
    // "error", what standard error says, and the status.
    void jsonOnFailure_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("bad option") << QStringList{"read", "--speed", "9600"} << 2;
        QTest::newRow("missing port") << QStringList{"read", "--port", "/dev/no-such-tty"} << 3;
        QTest::newRow("settings file missing")
            << QStringList{"configure", "--model", "420", "--ini", "/nonexistent/line.ini"} << 7;
    }
    void jsonOnFailure() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        const Result r = ::program(args + QStringList{"--json"});
        QCOMPARE(r.status, status);
        QCOMPARE(r.json["outcome"].toString(), QStringLiteral("error"));
        QCOMPARE(r.json["status"].toInt(), status);
        QCOMPARE(r.err.trimmed(), "tessaline-cli: " + r.json["message"].toString());
    }

    // An exception reply is named where the outcome is, in words and in the JSON.
    void exceptionNamed() {
        SimProcess korvo;
        const QString path = korvo.start({});
        const QStringList read{"read", "--port", path, "--register", "3"};
        const Result text = ::program(read);
        QCOMPARE(text.status, 4);
        QProcess p;
        p.start(QStringLiteral(TESSALINE_CLI), read);
        QVERIFY(p.waitForFinished(60'000));
        QVERIFY2(p.readAllStandardOutput().contains(
                     "received: Incomplete Frame: exception 02, illegal data address"),
                 "no name for the exception");
        const Result json = ::program(read + QStringList{"--json"});
        QCOMPARE(json.status, 4);
        QCOMPARE(json.json["outcome"].toString(), QStringLiteral("incomplete"));
        QCOMPARE(json.json["exception"].toObject()["code"].toInt(), 2);
        QCOMPARE(json.json["exception"].toObject()["name"].toString(),
                 QStringLiteral("illegal data address"));
    }

    // Characters the module cannot show still go out, as '?', after a line on standard
    // error that names them.
    void unshowableWarned_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("warning");  // "" for none
        QTest::newRow("text, Cyrillic")
            << QStringList{"text", "--value", "Жук 5°C"}
            << "tessaline-cli: warning: text --value: the module cannot show \"Ж\", \"у\", "
               "\"к\"; they go out as \"?\"";
        QTest::newRow("text, Western") << QStringList{"text", "--value", "Grüße 5°C?"} << "";
        QTest::newRow("16x2 message")
            << QStringList{"configure", "--model", "216", "--set", "UDT2=ok \U0001F600"}
            << "tessaline-cli: warning: UDT2: the module cannot show \"\U0001F600\"; it goes "
               "out as \"?\"";
    }
    void unshowableWarned() {
        QFETCH(QStringList, args);
        QFETCH(QString, warning);
        const bool configure = args.front() == QLatin1String("configure");
        SimProcess korvo;
        const QString path = korvo.start({"--model", configure ? "216" : "420"});
        QTemporaryDir dir;
        const QString file = dir.filePath("line.ini");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[Cfg1602]\r\nCset=9600,n,8,1\r\n") > 0);
        f.close();
        const Result r = ::program(args + QStringList{"--port", path, "--ini", file, "--json"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err.trimmed(), warning);
        if (!configure) {
            const int marks = warning.isEmpty() ? 1 : 3;  // the one typed, or one each
            QCOMPARE(r.json["sent"].toString().count(QLatin1String("3F")), marks);
        }
    }

    // A user without permission for the device (on Linux, outside group dialout) is told so
    // and how to mend it; the test runs the program as user nobody.
    void portNotPermitted_data() {
        QTest::addColumn<bool>("dialout");  // the device's group may use it, as usual
        QTest::addColumn<QString>("says");
        QTest::newRow("group dialout")
            << true
            << "not permitted for user nobody: add the user to group dialout "
               "(sudo adduser nobody dialout), then log out and in again";
        QTest::newRow("no group may use it")
            << false
            << "not permitted for user nobody: the device lets no group of users read "
               "and write it";
    }
    void portNotPermitted() {
        QFETCH(bool, dialout);
        QFETCH(QString, says);
        if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty()) {
            QSKIP("needs root and setpriv, to run the program as another user");
        }
        SimProcess korvo;
        const QString path = QFileInfo(korvo.start({})).canonicalFilePath();
        const QByteArray device = QFile::encodeName(path);
        const group* group = ::getgrnam("dialout");
        QVERIFY(group != nullptr);
        QCOMPARE(::chown(device.constData(), 0, dialout ? group->gr_gid : 0), 0);
        QCOMPARE(::chmod(device.constData(), dialout ? 0660 : 0600), 0);
        QProcess p;
        p.start(QStringLiteral("setpriv"),
                {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--",
                 QStringLiteral(TESSALINE_CLI), "read", "--port", path});
        QVERIFY(p.waitForFinished(60'000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 3);
        QVERIFY2(err.contains("Port " + path + " cannot be opened: " + says), qPrintable(err));
    }

    void busyPort() {
        SimProcess korvo;
        QString path = korvo.start({});
        MSComm holder([&path](int) { return path; });
        holder.PortOpen(true);
        const Result r = ::program({"read", "--port", path});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QLatin1String("in use")), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
