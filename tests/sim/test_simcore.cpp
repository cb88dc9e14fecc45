// SPDX-License-Identifier: MIT
#include <QTest>

#include <numeric>

#include "sim/display.h"
#include "sim/image.h"
#include "sim/module.h"
#include "sim/options.h"
#include "tests/support/frames.h"

using namespace testsupport;

using namespace korvo;

namespace {

std::span<const std::uint8_t> span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return {reinterpret_cast<const char*>(v.data()), qsizetype(v.size())};
}

Module makeModule(Model model, int address = 1) {
    ModuleSetup s;
    s.model = model;
    s.address = address;
    return Module(s);
}

std::string lineOf(const Module& m) {
    return describe(m.line());
}

// A 16x2 image with the checksum and complement made to fit.
QByteArray closed1602(QByteArray image) {
    const auto head = span(image).first(107);
    const unsigned sum = std::accumulate(head.begin(), head.end(), 0U) % 256U;
    image[107] = static_cast<char>(sum);
    image[108] = static_cast<char>((256U - sum) & 0xFF);
    return image;
}

// The 16x2 image of the default choices (six empty messages, 9600, 8N1, address 1), with
// the bytes from 96 on replaced by tail, closed when close is set.
QByteArray image1602(const QByteArray& tail = {}, bool close = true) {
    QByteArray image = QByteArray(96, ' ') + fromHex("24 C0 01 00 00 00 00 00 00 01 01 E7 19 00");
    image.replace(96, tail.size(), tail);
    return close && !tail.isEmpty() ? closed1602(image) : image;
}

const QByteArray example2004 =
    fromHex("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00");

}  // namespace

Q_DECLARE_METATYPE(korvo::Model)
Q_DECLARE_METATYPE(korvo::Verdict)

class TestSimCore : public QObject {
    Q_OBJECT
  private slots:
    // Replies of both models against bytes worked out from the Modbus standard.
    void replies_data() {
        QTest::addColumn<Model>("model");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const auto row = [](const char* name, Model m, const QByteArray& request,
                            const QByteArray& reply, int address = 1) {
            QTest::newRow(name) << m << address << request << reply;
        };
        const Model k216 = Model::Korvo216, k420 = Model::Korvo420;
        const auto echoed = [&](const char* name, Model m, const char* frame, int address = 1) {
            row(name, m, fromHex(frame), fromHex(frame), address);
        };
        row("04 register 0", k420, fromHex("01 04 00 00 00 01 31 CA"),
            fromHex("01 04 02 00 0A 39 37"));
        row("04 registers 1..2", k420, fromHex("01 04 00 01 00 02 20 0B"),
            fromHex("01 04 04 00 14 00 1E 3B 88"));
        echoed("05 coil 0 on", k420, "01 05 00 00 FF 00 8C 3A");
        echoed("05 last coil of the 420", k420, "01 05 00 08 FF 00 0D F8");
        echoed("05 last coil of the 216, slave 7", k216, "07 05 00 01 00 00 9C 6C", 7);
        echoed("06 register 0", k420, "01 06 00 00 00 01 48 0A");
        echoed("06 last register of the 420", k420, "01 06 00 38 12 34 05 70");
        echoed("06 last register of the 216", k216, "01 06 00 18 AB CD B7 68");
        row("16 ABCD", k420, fromHex("01 10 00 00 00 02 04 41 42 43 44 76 84"),
            fromHex("01 10 00 00 00 02 41 C8"));
        row("16 ten registers up to the last of the 216", k216,
            withCrc(fromHex("01 10 00 0F 00 0A 14") + QByteArray(20, 'x')),
            withCrc("01 10 00 0F 00 0A"));
        row("16 twenty characters at 130", k420,
            fromHex("01 10 00 82 00 0A 14 54 77 65 6E 74 79 20 63 68 61 72 61 63 74 65 72 73 21 "
                    "21 21 49 E6"),
            fromHex("01 10 00 82 00 0A E0 26"));
        row("exception 01: function 03", k420, fromHex("01 03 00 00 00 01 84 0A"),
            fromHex("01 83 01 80 F0"));
        row("exception 01: 04 on the 216", k216, fromHex("01 04 00 00 00 01 31 CA"),
            fromHex("01 84 01 82 C0"));
        const QByteArray zeros20 = QByteArray(20, '\0');
        const QByteArray e02_05 = fromHex("01 85 02 C3 51"), e02_06 = fromHex("01 86 02 C3 A1"),
                         e02_16 = fromHex("01 90 02 CD C1"), e03_05 = fromHex("01 85 03 02 91"),
                         e03_16 = fromHex("01 90 03 0C 01");
        row("exception 02: 04 past register 2", k420, withCrc("01 04 00 02 00 02"),
            fromHex("01 84 02 C2 C1"));
        row("exception 02: coil 9 of the 420", k420, withCrc("01 05 00 09 FF 00"), e02_05);
        row("exception 02: coil 2 of the 216", k216, withCrc("01 05 00 02 00 00"), e02_05);
        row("exception 02: register 57 of the 420", k420, withCrc("01 06 00 39 00 00"), e02_06);
        row("exception 02: register 25 of the 216", k216, withCrc("01 06 00 19 00 00"), e02_06);
        row("exception 02: 16 past register 24 of the 216", k216,
            withCrc(fromHex("01 10 00 10 00 0A 14") + zeros20), e02_16);
        row("exception 02: 16 past register 139 of the 420", k420,
            withCrc(fromHex("01 10 00 83 00 0A 14") + zeros20), e02_16);
        row("exception 03: coil value 1234", k420, withCrc("01 05 00 00 12 34"), e03_05);
        row("exception 03 before 02: bad value at a bad coil", k420, withCrc("01 05 00 20 00 01"),
            e03_05);
        row("exception 03: 05 one byte too long", k420, withCrc("01 05 00 00 FF 00 00"), e03_05);
        row("exception 03: byte count not twice the quantity", k420,
            withCrc("01 10 00 00 00 02 03 41 42 43"), e03_16);
        row("exception 03: empty message", k420, withCrc("01 10 00 00 00 00 00"), e03_16);
        row("exception 03: byte count past the frame", k420, withCrc("01 10 00 00 00 02 04 41 42"),
            e03_16);
        row("exception 03: 04 quantity 0", k420, withCrc("01 04 00 00 00 00"),
            fromHex("01 84 03 03 01"));
    }
    void replies() {
        QFETCH(Model, model);
        QFETCH(int, address);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        Module m = makeModule(model, address);
        const Result r = m.receive(span(request));
        QCOMPARE(r.verdict, Verdict::Request);
        QCOMPARE(hexOf(bytesOf(r.reply)), hexOf(reply));
        QVERIFY(!r.events.empty());
    }

    // Frames that must not be answered, and whether they change anything.
    void silentFrames_data() {
        QTest::addColumn<QByteArray>("burst");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<bool>("coilOn");
        const auto row = [](const char* name, const QByteArray& burst, Verdict v, bool on) {
            QTest::newRow(name) << burst << v << on;
        };
        row("another slave", withCrc("02 05 00 03 FF 00"), Verdict::OtherSlave, false);
        row("broadcast write applied", withCrc("00 05 00 03 FF 00"), Verdict::Broadcast, true);
        row("broadcast read", withCrc("00 04 00 00 00 01"), Verdict::Broadcast, false);
        row("broadcast with a bad value", withCrc("00 05 00 03 12 34"), Verdict::Broadcast, false);
        row("bad CRC", fromHex("01 05 00 03 FF 00 00 00"), Verdict::Ignored, false);
        row("CRC bytes swapped", fromHex("01 04 00 00 00 01 CA 31"), Verdict::Ignored, false);
        row("three bytes", fromHex("01 05 00"), Verdict::Ignored, false);
        row("one byte", fromHex("FF"), Verdict::Ignored, false);
        // The image of the other model is recognised, said so, and not applied.
        row("16x2 image to a Korvo-420", image1602(), Verdict::Ignored, false);
    }
    void silentFrames() {
        QFETCH(QByteArray, burst);
        QFETCH(Verdict, verdict);
        QFETCH(bool, coilOn);
        Module m = makeModule(Model::Korvo420);
        const Result r = m.receive(span(burst));
        QCOMPARE(r.verdict, verdict);
        QVERIFY(r.reply.empty());
        QCOMPARE(m.coil(3), coilOn);
        QCOMPARE(r.events.size(), std::size_t{1});
        QVERIFY(!m.config1602() && !m.config2004());
        if (burst.size() == 110) {
            QVERIFY(r.events.front().find("16x2 configuration upload") != std::string::npos);
        }
    }

    void overlongBurstDropped() {
        Module m = makeModule(Model::Korvo420);
        const Result r = m.receive(std::vector<std::uint8_t>(kMaxBurst + 1, 0x55));
        QVERIFY(r.reply.empty());
        QCOMPARE(r.verdict, Verdict::Ignored);
    }

    // The state behind the replies: coils, registers and what the display shows.
    void stateAfterWrites() {
        Module m = makeModule(Model::Korvo420);
        m.receive(span(withCrc("01 05 00 04 FF 00")));
        QVERIFY(m.coil(4));
        m.receive(span(withCrc("01 05 00 04 00 00")));
        QVERIFY(!m.coil(4));

        // Register 10 starts display line 1; the message is placed as sent, not padded.
        m.receive(span(withCrc("01 10 00 0A 00 02 04 48 69 21 3F")));
        QCOMPARE(QString::fromStdString(m.displayText(1)), QString("Hi!?                "));
        QCOMPARE(QString::fromStdString(m.displayText(0)), QString(20, ' '));
        m.receive(span(withCrc("01 06 00 0C 4F 4B")));
        QCOMPARE(QString::fromStdString(m.displayText(1)), QString("Hi!?OK              "));
        QCOMPARE(m.holdingRegister(12), std::uint16_t{0x4F4B});

        // Beyond the display: the message store of the 420 takes a full 20 characters.
        const Result r =
            m.receive(span(withCrc(fromHex("01 10 00 82 00 0A 14") + QByteArray(20, '\xAA'))));
        QCOMPARE(m.holdingRegister(139), std::uint16_t{0xAAAA});
        QVERIFY(r.events.back().find("beyond the display") != std::string::npos);

        Module small = makeModule(Model::Korvo216);
        small.receive(span(withCrc("01 10 00 08 00 01 02 6F 6B")));
        QCOMPARE(QString::fromStdString(small.displayText(1)), QString("ok              "));
    }

    // Uploads of either model, with the worked examples of both images: applied or not,
    // and the address and line the module then answers at.
    void images_data() {
        QTest::addColumn<Model>("model");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, Model m, const QByteArray& image, bool accepted,
                            int address = 1, const char* line = "9600 8N1") {
            QTest::newRow(name) << m << image << accepted << address << QString(line);
        };
        const Model k216 = Model::Korvo216, k420 = Model::Korvo420;
        row("16x2 default choices", k216, image1602(), true);
        const QByteArray sum256 = image1602(fromHex("09 D0 25"));
        QCOMPARE(sum256.mid(107, 2), fromHex("00 00"));
        row("16x2 sum a multiple of 256, complement 0", k216, sum256, true, 37, "38400 8E1");
        const QByteArray full = closed1602(image1602(fromHex("12 C2 F7 04 00 0D 00 06 00 05"))
                                               .replace(32, 16, "Temp:  21.5 C   "));
        row("16x2 every field at its end", k216, full, true, 247, "19200 8N2");
        row("16x2 bad checksum", k216, image1602().replace(107, 1, "\xE8"), false);
        row("16x2 bad complement", k216, image1602().replace(108, 1, QByteArray(1, 0)), false);
        // 256 cut to its low byte would be 0, not 1.
        row("16x2 complement 1 on a zero sum", k216,
            image1602(fromHex("09 D0 25 00 00 00 00 00 00 01 01 00 01"), false), false);
        row("16x2 byte 109 not 0", k216, image1602().replace(109, 1, "\x01"), false);
        row("16x2 unknown baud code", k216, image1602(fromHex("25")), false);
        row("16x2 address 248", k216, image1602(fromHex("24 C0 F8")), false);
        row("16x2 width 0", k216, image1602(fromHex("24 C0 01 00 00 00 00 00 00 01 00")), false);

        row("20x4 default choices", k420,
            fromHex("01 FF FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 FD 00"), true);
        row("20x4 second example", k420, example2004, true, 5, "19200 8N2");
        row("20x4 sum a multiple of 256, complement 0", k420,
            fromHex("01 FF FF FD 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 00 00 00"), true);
        row("20x4 38400 8E1", k420,
            fromHex("09 0C 26 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 3F C1 00"), true,
            9, "38400 8E1");
        row("20x4 bad checksum", k420,
            fromHex("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F1 10 00"), false);
        row("20x4 trailing byte not 0", k420,
            fromHex("01 FF FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 FD 01"), false);
        row("20x4 message 21 on the start screen", k420,
            fromHex("01 FF FF 00 15 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 18 E8 00"), false);
        row("20x4 unknown format code", k420,
            fromHex("01 FF 0F 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 13 ED 00"), false);
    }
    void images() {
        QFETCH(Model, model);
        QFETCH(QByteArray, image);
        QFETCH(bool, accepted);
        QFETCH(int, address);
        QFETCH(QString, line);
        Module m = makeModule(model);
        const Result r = m.receive(span(image));
        QCOMPARE(r.verdict, accepted ? Verdict::ConfigApplied : Verdict::ConfigRejected);
        QVERIFY(r.reply.empty());
        QCOMPARE(model == Model::Korvo216 ? m.config1602().has_value() : m.config2004().has_value(),
                 accepted);
        QCOMPARE(m.address(), address);
        QCOMPARE(QString::fromStdString(lineOf(m)), line);
        QCOMPARE(r.lineChanged, line != "9600 8N1");
    }

    void imageFields() {
        const QByteArray image = closed1602(
            image1602(fromHex("24 C0 01 02 03 04 0D 01 06 05 02")).replace(16, 8, "Line two"));
        const auto d = decode1602(span(image));
        QVERIFY2(d.config, d.reason.c_str());
        const auto& f = d.config->fields;
        QCOMPARE((std::array{f[0].decimals, f[1].decimals, f[0].location, f[1].location,
                             d.config->startScreen[0], d.config->startScreen[1], f[0].width,
                             f[1].width}),
                 (std::array{2, 3, 4, 13, 1, 6, 5, 2}));
        const auto words = describe(*d.config);
        QVERIFY(std::find(words.begin(), words.end(), "message 2: \"Line two        \"") !=
                words.end());

        const auto e = decode2004(span(example2004));
        QVERIFY2(e.config, e.reason.c_str());
        QCOMPARE(e.config->ioDirections, std::uint8_t{0x81});
        QCOMPARE(e.config->startScreen, (std::array<int, 4>{1, 2, 0, 20}));
        const int widths[] = {5, 3, 1, 1}, decimals[] = {2, 0, 0, 1}, locations[] = {0, 10, 18, 3};
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(e.config->fields[i].width, widths[i]);
            QCOMPARE(e.config->fields[i].decimals, decimals[i]);
            QCOMPARE(e.config->fields[i].location, locations[i]);
        }
        const auto lines = describe(*e.config);
        QVERIFY(std::find(lines.begin(), lines.end(), "IO pins 1..8: OUT IN IN IN IN IN IN OUT") !=
                lines.end());
    }

    // After an upload the module answers at its new address only.
    void uploadMovesTheAddress() {
        Module m = makeModule(Model::Korvo420);
        m.receive(span(example2004));
        QCOMPARE(m.receive(span(withCrc("01 04 00 00 00 01"))).verdict, Verdict::OtherSlave);
        const Result r = m.receive(span(withCrc("05 04 00 00 00 01")));
        QCOMPARE(hexOf(bytesOf(r.reply)), hexOf(withCrc("05 04 02 00 0A")));
    }

    // Faults reshape replies (and only replies) and are counted.
    void faults_data() {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("applied");
        const QByteArray coilOn = fromHex("01 05 00 03 FF 00 7C 3A");
        const auto row = [&](const char* name, const char* options, const QByteArray& reply,
                             bool applied = true, const QByteArray& request = {}) {
            QTest::newRow(name) << QByteArray(options) << (request.isEmpty() ? coilOn : request)
                                << reply << applied;
        };
        row("no reply", "--no-reply", {});
        row("corrupt CRC", "--corrupt-crc", fromHex("01 05 00 03 FF 00 83 3A"));
        row("truncate", "--truncate 5", fromHex("01 05 00 03 FF"));
        row("truncate past the end", "--truncate 20", coilOn);
        row("extra", "--extra 3", coilOn + QByteArray(3, '\0'));
        row("exception, nothing applied", "--exception 4", fromHex("01 85 04 43 53"), false);
        row("exception to a broadcast: silent, nothing applied", "--exception 4", {}, false,
            fromHex("00 05 00 03 FF 00 7D EB"));
        row("corrupt and truncate: the cut comes last", "--corrupt-crc --truncate 7",
            fromHex("01 05 00 03 FF 00 83"));
    }
    void faults() {
        QFETCH(QByteArray, options);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, applied);
        std::vector<std::string> args;
        for (const QByteArray& a : options.split(' ')) {
            args.emplace_back(a.toStdString());
        }
        const auto parsed = parseOptions(args);
        QVERIFY(std::holds_alternative<Options>(parsed));
        Module m(std::get<Options>(parsed).module);
        for (int round = 1; round <= 2; ++round) {
            const Result r = m.receive(span(request));
            QCOMPARE(hexOf(bytesOf(r.reply)), hexOf(reply));
            QCOMPARE(m.coil(3), applied);
            const FaultCounts& c = m.faultCounts();
            const unsigned total = c.noReply + c.corruptCrc + c.truncate + c.extra + c.exception;
            QVERIFY(total >= static_cast<unsigned>(round) || options.contains("truncate 20"));
        }
    }

    // A burst is heard only at the settings the module listens at: its own for frames, 9600
    // 8N1 for uploads. What the tty cannot show (the parity on a pseudo-terminal) agrees.
    void masterLine_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("parity");  // -1 unseen, 0 none, 1 even
        QTest::addColumn<QByteArray>("burst");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("says");
        const QByteArray read = withCrc("01 04 00 00 00 01");
        const auto row = [](const char* name, const char* module, int baud, int stop, int parity,
                            const QByteArray& burst, Verdict v, const char* says = "") {
            QTest::newRow(name) << QString(module) << baud << stop << parity << burst << v
                                << QString(says);
        };
        const Verdict garbled = Verdict::Garbled, ok = Verdict::Request;
        row("matched", "19200 8N2", 19200, 2, -1, read, ok);
        row("other speed", "19200 8N2", 9600, 2, -1, read, garbled,
            "master at 9600 8?2, module at 19200 8N2: garbled");
        row("one stop bit", "19200 8N2", 19200, 1, -1, read, garbled,
            "master at 19200 8?1, module at 19200 8N2: garbled");
        row("two stop bits to 8N1", "9600 8N1", 9600, 2, -1, read, garbled);
        row("upload at the module's 19200", "19200 8N2", 19200, 2, -1, example2004, garbled,
            "master at 19200 8?2, but configuration uploads are taken at 9600 8N1 only: garbled");
        row("upload at 9600 8N1 to a 19200 module", "19200 8N2", 9600, 1, -1, example2004,
            Verdict::ConfigApplied);
        row("upload at 9600 8N1", "9600 8N1", 9600, 1, -1, example2004, Verdict::ConfigApplied);
        row("request at 9600 8N1 to a 19200 module", "19200 8N2", 9600, 1, -1, read, garbled);
        row("garbage at 9600 8N1 to a 19200 module", "19200 8N2", 9600, 1, -1,
            QByteArray(30, '\x55'), garbled);
        row("8E1 module, parity unseen", "9600 8E1", 9600, 1, -1, read, ok);
        row("8E1 module, no parity seen", "9600 8E1", 9600, 1, 0, read, garbled,
            "master at 9600 8N1, module at 9600 8E1: garbled");
        row("8E1 module, even parity seen", "9600 8E1", 9600, 1, 1, read, ok);
    }
    void masterLine() {
        QFETCH(QString, module);
        QFETCH(int, baud);
        QFETCH(int, stopBits);
        QFETCH(int, parity);
        QFETCH(QByteArray, burst);
        QFETCH(Verdict, verdict);
        QFETCH(QString, says);
        const auto parsed = parseOptions({"--baud", module.section(' ', 0, 0).toStdString(),
                                          "--format", module.section(' ', 1).toStdString()});
        Module m(std::get<Options>(parsed).module);
        SeenLine master{baud, stopBits, std::nullopt};
        if (parity >= 0) {
            master.parity = parity == 0 ? Parity::None : Parity::Even;
        }
        const Result r = m.receive(span(burst), master);
        QCOMPARE(r.verdict, verdict);
        QCOMPARE(r.reply.empty(), verdict != Verdict::Request);
        if (verdict == Verdict::Garbled) {
            QCOMPARE(r.events.size(), std::size_t{1});
            QVERIFY(!m.config2004());
            QCOMPARE(QString::fromStdString(lineOf(m)), module);
        }
        if (!says.isEmpty()) {
            QCOMPARE(QString::fromStdString(r.events.front()), says);
        }
    }

    // What the display shows after a known run of frames: the start screen of an upload,
    // text written over it, and the data fields with their registers' values.
    void display_data() {
        QTest::addColumn<Model>("model");
        QTest::addColumn<QList<QByteArray>>("bursts");
        QTest::addColumn<QStringList>("shown");
        const QString blank20(20, ' ');
        QTest::newRow("20x4 before any upload")
            << Model::Korvo420 << QList<QByteArray>{withCrc("01 10 00 14 00 01 02 48 69")}
            << QStringList{blank20, blank20, "Hi" + QString(18, ' '), blank20};
        // Message 2 lives at start address 50; 1 was never written and 20 has no slot.
        // Fields: 5 digits 2 decimals at column 0, 3 at column 10, 1 at 18, 1 with 1 decimal
        // at 3; their values in registers 40..43.
        const QByteArray message2 =
            withCrc(fromHex("01 10 00 32 00 0A 14") + "Second slot message ");
        QTest::newRow("20x4 start screen")
            << Model::Korvo420 << QList<QByteArray>{message2, example2004}
            << QStringList{"  0.00" + QString(14, ' '), "Second slo  0essage ",
                           QString(18, ' ') + "0 ", "   .0" + QString(15, ' ')};
        QTest::newRow("20x4 fields and text after the upload")
            << Model::Korvo420
            << QList<QByteArray>{message2,
                                 example2004,
                                 withCrc("05 06 00 28 04 D2"),  // 1234
                                 withCrc("05 06 00 2B 00 07"),
                                 withCrc("05 10 00 14 00 01 02 48 69"),
                                 withCrc("05 06 00 2A 00 0C")}  // 12: too wide for 1 digit
            << QStringList{" 12.34" + QString(14, ' '), "Second slo  0essage ",
                           "Hi" + QString(16, ' ') + "- ", "   .7" + QString(15, ' ')};
        // Message 10 is the last slot the 20x4 keeps (start address 130); 11 has none.
        QTest::newRow("20x4 last message slot")
            << Model::Korvo420
            << QList<QByteArray>{withCrc(fromHex("01 10 00 82 00 0A 14") + "Tenth message slot!!"),
                                 fromHex("01 FF FF 00 0A 0B 00 00 01 01 01 01 00 00 00 00 00 00 "
                                         "00 00 18 E8 00")}
            << QStringList{"0enth message slot!!", "0" + QString(19, ' '), "0" + QString(19, ' '),
                           "0" + QString(19, ' ')};
        const QByteArray image = closed1602(image1602(fromHex("24 C0 01 01 00 0C 04 01 02 03 01"))
                                                .replace(0, 16, "Temp:           ")
                                                .replace(16, 16, "Fan\x01            "));
        QTest::newRow("16x2 messages of the image")
            << Model::Korvo216
            << QList<QByteArray>{withCrc("01 10 00 00 00 01 02 58 58"), image,
                                 withCrc("01 06 00 10 00 D7"), withCrc("01 06 00 11 00 03")}
            << QStringList{"Temp:       21.5", "Fan 3           "};
    }
    void display() {
        QFETCH(Model, model);
        QFETCH(QList<QByteArray>, bursts);
        QFETCH(QStringList, shown);
        Module m = makeModule(model);
        for (const QByteArray& b : bursts) {
            const Result r = m.receive(span(b));
            QVERIFY(r.verdict == Verdict::Request || r.verdict == Verdict::ConfigApplied);
        }
        QStringList lines;
        for (const std::string& l : shownLines(m)) {
            lines << QString::fromStdString(l);
        }
        QCOMPARE(lines, shown);
        const ModuleView v = viewOf(m);
        QCOMPARE(QString::fromStdString(v.title),
                 QString::fromStdString(modelName(model)) + QString::fromUtf8(" — virtual module"));
        QCOMPARE(v.coils.size(), m.coilCount());
    }

    void fieldText_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("leading zeros blank") << 42 << 5 << 0 << "   42";
        QTest::newRow("zero keeps its units digit") << 0 << 3 << 0 << "  0";
        QTest::newRow("point") << 314 << 5 << 2 << "  3.14";
        QTest::newRow("zeros after the point") << 5 << 3 << 2 << "0.05";
        QTest::newRow("all decimals") << 7 << 1 << 1 << ".7";
        QTest::newRow("more decimals than digits") << 42 << 2 << 5 << ".42";
        QTest::newRow("full width") << 65535 << 5 << 0 << "65535";
        QTest::newRow("too wide") << 100 << 2 << 1 << "-.-";
    }
    void fieldText() {
        QFETCH(int, value);
        QFETCH(int, width);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(
                     korvo::fieldText(static_cast<std::uint16_t>(value), {0, width, decimals})),
                 text);
    }

    void options_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("valid");
        QTest::newRow("nothing") << "" << true;
        QTest::newRow("everything")
            << "--model 216 --address 247 --baud 38400 --format 8E1 --input-registers 0,1,65535"
               " --link /tmp/x --no-pace --delay 100 --corrupt-crc --truncate 0 --extra 256"
               " --exception 0x0B --echo --no-reply --settle-ms 60000"
            << true;
        QTest::newRow("= form") << "--model=216 --baud=19200" << true;
        QTest::newRow("unknown option") << "--speed 9600" << false;
        QTest::newRow("stray argument") << "216" << false;
        QTest::newRow("address 248") << "--address 248" << false;
        QTest::newRow("address with junk") << "--address 12x" << false;
        QTest::newRow("baud 4800") << "--baud 4800" << false;
        QTest::newRow("two input registers") << "--input-registers 1,2" << false;
        QTest::newRow("input register 65536") << "--input-registers 1,2,65536" << false;
        QTest::newRow("missing value") << "--address" << false;
        QTest::newRow("settling over a minute") << "--settle-ms 60001" << false;
        QTest::newRow("flag with a value") << "--echo=1" << false;
        QTest::newRow("link with a device") << "--device /dev/null --link /tmp/x" << false;
    }
    void options() {
        QFETCH(QString, line);
        QFETCH(bool, valid);
        std::vector<std::string> args;
        for (const QString& a : line.split(' ', Qt::SkipEmptyParts)) {
            args.emplace_back(a.toStdString());
        }
        const auto parsed = parseOptions(args);
        QCOMPARE(std::holds_alternative<Options>(parsed), valid);
        if (!valid) {
            QVERIFY(!std::get<OptionError>(parsed).message.empty());
        }
    }

    void optionValues() {
        const auto parsed = parseOptions({"--model", "216", "--address", "9", "--format", "8N2",
                                          "--baud", "19200", "--input-registers", "7,8,0x10"});
        const auto& o = std::get<Options>(parsed);
        QCOMPARE(o.module.model, Model::Korvo216);
        QCOMPARE(o.module.address, 9);
        QCOMPARE(QString::fromStdString(describe(o.module.line)), QString("19200 8N2"));
        QCOMPARE(o.module.inputRegisters, (std::array<std::uint16_t, 3>{7, 8, 16}));
    }
};

QTEST_GUILESS_MAIN(TestSimCore)
#include "test_simcore.moc"
