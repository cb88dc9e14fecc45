#include <QTest>

#include <numeric>

#include "crc16.h"
#include "image.h"
#include "module.h"
#include "options.h"

using namespace korvo;

namespace {

std::vector<std::uint8_t> bytes(const QByteArray& hexText) {
    const QByteArray raw = QByteArray::fromHex(hexText);
    return {raw.begin(), raw.end()};
}

QByteArray hexOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()))
        .toHex(' ')
        .toUpper();
}

std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = crc16::modbus(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

Module makeModule(Model model, Faults faults = {}) {
    ModuleSetup s;
    s.model = model;
    s.faults = faults;
    return Module(s);
}

// The 16x2 image of the default choices: six empty messages, 9600, 8N1, address 1.
std::vector<std::uint8_t> default1602() {
    std::vector<std::uint8_t> image(110, 0x20);
    const std::uint8_t tail[] = {36, 192, 1, 0, 0, 0, 0, 0, 0, 1, 1, 231, 25, 0};
    std::copy(std::begin(tail), std::end(tail), image.begin() + 96);
    return image;
}

void close1602(std::vector<std::uint8_t>& image) {
    const unsigned sum = std::accumulate(image.begin(), image.begin() + 107, 0U) % 256U;
    image[107] = static_cast<std::uint8_t>(sum);
    image[108] = static_cast<std::uint8_t>((256U - sum) & 0xFF);
}

}  // namespace

Q_DECLARE_METATYPE(korvo::Model)

class TestSimCore : public QObject {
    Q_OBJECT
  private slots:
    // Replies of both models against bytes worked out from the Modbus standard.
    void replies_data() {
        QTest::addColumn<Model>("model");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        const Model k216 = Model::Korvo216;
        const Model k420 = Model::Korvo420;
        QTest::newRow("04 register 0") << k420 << 1 << QByteArray("01 04 00 00 00 01 31 CA")
                                       << QByteArray("01 04 02 00 0A 39 37");
        QTest::newRow("04 registers 1..2") << k420 << 1 << QByteArray("01 04 00 01 00 02 20 0B")
                                           << QByteArray("01 04 04 00 14 00 1E 3B 88");
        QTest::newRow("05 coil 0 on") << k420 << 1 << QByteArray("01 05 00 00 FF 00 8C 3A")
                                      << QByteArray("01 05 00 00 FF 00 8C 3A");
        QTest::newRow("05 last coil of the 420")
            << k420 << 1 << QByteArray("01 05 00 08 FF 00 0D F8")
            << QByteArray("01 05 00 08 FF 00 0D F8");
        QTest::newRow("05 last coil of the 216, slave 7")
            << k216 << 7 << QByteArray("07 05 00 01 00 00 9C 6C")
            << QByteArray("07 05 00 01 00 00 9C 6C");
        QTest::newRow("06 register 0") << k420 << 1 << QByteArray("01 06 00 00 00 01 48 0A")
                                       << QByteArray("01 06 00 00 00 01 48 0A");
        QTest::newRow("06 last register of the 420")
            << k420 << 1 << QByteArray("01 06 00 38 12 34 05 70")
            << QByteArray("01 06 00 38 12 34 05 70");
        QTest::newRow("06 last register of the 216")
            << k216 << 1 << QByteArray("01 06 00 18 AB CD B7 68")
            << QByteArray("01 06 00 18 AB CD B7 68");
        QTest::newRow("16 ABCD") << k420 << 1
                                 << QByteArray("01 10 00 00 00 02 04 41 42 43 44 76 84")
                                 << QByteArray("01 10 00 00 00 02 41 C8");
        QTest::newRow("16 twenty characters at 130")
            << k420 << 1
            << QByteArray(
                   "01 10 00 82 00 0A 14 54 77 65 6E 74 79 20 63 68 61 72 61 63 74 65 72"
                   " 73 21 21 21 49 E6")
            << QByteArray("01 10 00 82 00 0A E0 26");
        QTest::newRow("exception 01: function 03")
            << k420 << 1 << QByteArray("01 03 00 00 00 01 84 0A") << QByteArray("01 83 01 80 F0");
        QTest::newRow("exception 01: 04 on the 216")
            << k216 << 1 << QByteArray("01 04 00 00 00 01 31 CA") << QByteArray("01 84 01 82 C0");
        QTest::newRow("exception 02: 04 past register 2")
            << k420 << 1 << hexOf(withCrc(bytes("01 04 00 02 00 02")))
            << QByteArray("01 84 02 C2 C1");
        QTest::newRow("exception 02: coil 9 of the 420")
            << k420 << 1 << hexOf(withCrc(bytes("01 05 00 09 FF 00")))
            << QByteArray("01 85 02 C3 51");
        QTest::newRow("exception 02: coil 2 of the 216")
            << k216 << 1 << hexOf(withCrc(bytes("01 05 00 02 00 00")))
            << QByteArray("01 85 02 C3 51");
        QTest::newRow("exception 02: register 57 of the 420")
            << k420 << 1 << hexOf(withCrc(bytes("01 06 00 39 00 00")))
            << QByteArray("01 86 02 C3 A1");
        QTest::newRow("exception 02: register 25 of the 216")
            << k216 << 1 << hexOf(withCrc(bytes("01 06 00 19 00 00")))
            << QByteArray("01 86 02 C3 A1");
        QTest::newRow("exception 02: 16 past register 24 of the 216")
            << k216 << 1 << hexOf(withCrc(bytes("01 10 00 10 00 0A 14" + QByteArray(40, '0'))))
            << QByteArray("01 90 02 CD C1");
        QTest::newRow("exception 02: 16 past register 139 of the 420")
            << k420 << 1 << hexOf(withCrc(bytes("01 10 00 83 00 0A 14" + QByteArray(40, '0'))))
            << QByteArray("01 90 02 CD C1");
        QTest::newRow("exception 03: coil value 1234")
            << k420 << 1 << hexOf(withCrc(bytes("01 05 00 00 12 34")))
            << QByteArray("01 85 03 02 91");
        QTest::newRow("exception 03 before 02: bad value at a bad coil")
            << k420 << 1 << hexOf(withCrc(bytes("01 05 00 20 00 01")))
            << QByteArray("01 85 03 02 91");
        QTest::newRow("exception 03: byte count not twice the quantity")
            << k420 << 1 << hexOf(withCrc(bytes("01 10 00 00 00 02 03 41 42 43")))
            << QByteArray("01 90 03 0C 01");
        QTest::newRow("exception 03: empty message")
            << k420 << 1 << hexOf(withCrc(bytes("01 10 00 00 00 00 00")))
            << QByteArray("01 90 03 0C 01");
        QTest::newRow("exception 03: byte count past the frame")
            << k420 << 1 << hexOf(withCrc(bytes("01 10 00 00 00 02 04 41 42")))
            << QByteArray("01 90 03 0C 01");
        QTest::newRow("exception 03: 04 quantity 0")
            << k420 << 1 << hexOf(withCrc(bytes("01 04 00 00 00 00")))
            << QByteArray("01 84 03 03 01");
        QTest::newRow("exception 03: 05 one byte too long")
            << k420 << 1 << hexOf(withCrc(bytes("01 05 00 00 FF 00 00")))
            << QByteArray("01 85 03 02 91");
    }
    void replies() {
        QFETCH(Model, model);
        QFETCH(int, address);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        ModuleSetup s;
        s.model = model;
        s.address = address;
        Module m(s);
        const Result r = m.receive(bytes(request));
        QCOMPARE(r.verdict, Verdict::Request);
        QCOMPARE(hexOf(r.reply), reply);
        QVERIFY(!r.events.empty());
    }

    // Frames that must not be answered, and whether they change anything.
    void silentFrames_data() {
        QTest::addColumn<QByteArray>("burst");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<bool>("coilOn");
        QTest::newRow("another slave")
            << hexOf(withCrc(bytes("02 05 00 03 FF 00"))) << Verdict::OtherSlave << false;
        QTest::newRow("broadcast write applied")
            << hexOf(withCrc(bytes("00 05 00 03 FF 00"))) << Verdict::Broadcast << true;
        QTest::newRow("broadcast read")
            << hexOf(withCrc(bytes("00 04 00 00 00 01"))) << Verdict::Broadcast << false;
        QTest::newRow("broadcast with a bad value")
            << hexOf(withCrc(bytes("00 05 00 03 12 34"))) << Verdict::Broadcast << false;
        QTest::newRow("bad CRC") << QByteArray("01 05 00 03 FF 00 00 00") << Verdict::Ignored
                                 << false;
        QTest::newRow("CRC bytes swapped")
            << QByteArray("01 04 00 00 00 01 CA 31") << Verdict::Ignored << false;
        QTest::newRow("three bytes") << QByteArray("01 05 00") << Verdict::Ignored << false;
        QTest::newRow("one byte") << QByteArray("FF") << Verdict::Ignored << false;
    }
    void silentFrames() {
        QFETCH(QByteArray, burst);
        QFETCH(Verdict, verdict);
        QFETCH(bool, coilOn);
        Module m = makeModule(Model::Korvo420);
        const Result r = m.receive(bytes(burst));
        QCOMPARE(r.verdict, verdict);
        QVERIFY(r.reply.empty());
        QCOMPARE(m.coil(3), coilOn);
        QCOMPARE(r.events.size(), std::size_t{1});
    }

    void overlongBurstDropped() {
        Faults echo;
        echo.echo = true;
        Module m = makeModule(Model::Korvo420, echo);
        const Result r = m.receive(std::vector<std::uint8_t>(kMaxBurst + 1, 0x55));
        QVERIFY(r.reply.empty());
        QCOMPARE(r.verdict, Verdict::Ignored);
    }

    // The state behind the replies: coils, registers and what the display shows.
    void stateAfterWrites() {
        Module m = makeModule(Model::Korvo420);
        m.receive(withCrc(bytes("01 05 00 04 FF 00")));
        QVERIFY(m.coil(4));
        m.receive(withCrc(bytes("01 05 00 04 00 00")));
        QVERIFY(!m.coil(4));

        // Register 10 starts display line 1; the message is placed as sent, not padded.
        m.receive(withCrc(bytes("01 10 00 0A 00 02 04 48 69 21 3F")));
        QCOMPARE(QString::fromStdString(m.displayText(1)), QString("Hi!?                "));
        QCOMPARE(QString::fromStdString(m.displayText(0)), QString(20, ' '));
        m.receive(withCrc(bytes("01 06 00 0C 4F 4B")));
        QCOMPARE(QString::fromStdString(m.displayText(1)), QString("Hi!?OK              "));
        QCOMPARE(m.holdingRegister(12), std::uint16_t{0x4F4B});

        // Beyond the display: the message store of the 420 takes a full 20 characters.
        const Result r = m.receive(withCrc(bytes("01 10 00 82 00 0A 14" + QByteArray(40, 'A'))));
        QCOMPARE(m.holdingRegister(139), std::uint16_t{0xAAAA});
        QVERIFY(r.events.back().find("beyond the display") != std::string::npos);

        Module small = makeModule(Model::Korvo216);
        small.receive(withCrc(bytes("01 10 00 08 00 01 02 6F 6B")));
        QCOMPARE(QString::fromStdString(small.displayText(1)), QString("ok              "));
    }

    // Uploads of the Korvo-216, with the worked examples of the 16x2 image.
    void image1602_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("line");
        auto image = default1602();
        QTest::newRow("default choices") << hexOf(image) << true << 1 << "9600 8N1";
        image[96] = 9;
        image[97] = 208;
        image[98] = 37;
        close1602(image);
        QVERIFY(image[107] == 0 && image[108] == 0);
        QTest::newRow("sum a multiple of 256, complement 0")
            << hexOf(image) << true << 37 << "38400 8E1";
        auto full = default1602();
        const QByteArray msg = "Temp:  21.5 C   ";
        std::copy(msg.begin(), msg.end(), full.begin() + 32);
        full[96] = 18;
        full[97] = 194;
        full[98] = 247;
        full[99] = 4;
        full[101] = 13;
        full[103] = 6;
        full[105] = 5;
        close1602(full);
        QTest::newRow("every field at its end") << hexOf(full) << true << 247 << "19200 8N2";
        auto wrongSum = default1602();
        wrongSum[107] = 232;
        QTest::newRow("bad checksum") << hexOf(wrongSum) << false << 1 << "9600 8N1";
        auto wrongComp = default1602();
        wrongComp[108] = 0;
        QTest::newRow("bad complement") << hexOf(wrongComp) << false << 1 << "9600 8N1";
        auto comp256 = default1602();
        comp256[96] = 9;
        comp256[97] = 208;
        comp256[98] = 37;
        comp256[107] = 0;
        comp256[108] = 1;  // 256 cut to its low byte would be 0, not 1
        QTest::newRow("complement 1 on a zero sum") << hexOf(comp256) << false << 1 << "9600 8N1";
        auto tail = default1602();
        tail[109] = 1;
        QTest::newRow("byte 109 not 0") << hexOf(tail) << false << 1 << "9600 8N1";
        auto code = default1602();
        code[96] = 37;
        close1602(code);
        QTest::newRow("unknown baud code") << hexOf(code) << false << 1 << "9600 8N1";
        auto addr = default1602();
        addr[98] = 248;
        close1602(addr);
        QTest::newRow("address 248") << hexOf(addr) << false << 1 << "9600 8N1";
        auto width = default1602();
        width[106] = 0;
        close1602(width);
        QTest::newRow("width 0") << hexOf(width) << false << 1 << "9600 8N1";
    }
    void image1602() {
        QFETCH(QByteArray, image);
        QFETCH(bool, accepted);
        QFETCH(int, address);
        QFETCH(QString, line);
        Module m = makeModule(Model::Korvo216);
        const Result r = m.receive(bytes(image));
        QCOMPARE(r.verdict, accepted ? Verdict::ConfigApplied : Verdict::ConfigRejected);
        QVERIFY(r.reply.empty());
        QCOMPARE(m.config1602().has_value(), accepted);
        QCOMPARE(m.address(), address);
        QCOMPARE(QString::fromStdString(describe(m.line())), line);
        QCOMPARE(r.lineChanged, line != "9600 8N1");
    }

    void image1602Fields() {
        auto image = default1602();
        const QByteArray msg = "Line two";
        std::copy(msg.begin(), msg.end(), image.begin() + 16);
        const std::uint8_t fields[] = {2, 3, 4, 13, 1, 6, 5, 2};  // offsets 99..106
        std::copy(std::begin(fields), std::end(fields), image.begin() + 99);
        close1602(image);
        const auto d = decode1602(image);
        QVERIFY2(d.config, d.reason.c_str());
        QCOMPARE(d.config->fields[0].decimals, 2);
        QCOMPARE(d.config->fields[1].decimals, 3);
        QCOMPARE(d.config->fields[0].location, 4);
        QCOMPARE(d.config->fields[1].location, 13);
        QCOMPARE(d.config->startScreen[0], 1);
        QCOMPARE(d.config->startScreen[1], 6);
        QCOMPARE(d.config->fields[0].width, 5);
        QCOMPARE(d.config->fields[1].width, 2);
        const auto words = describe(*d.config);
        QVERIFY(std::find(words.begin(), words.end(), "message 2: \"Line two        \"") !=
                words.end());
    }

    // Uploads of the Korvo-420, with the worked examples of the 20x4 image.
    void image2004_data() {
        QTest::addColumn<QByteArray>("upload");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("line");
        QTest::newRow("default choices")
            << QByteArray("01 FF FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 FD 00")
            << true << 1 << "9600 8N1";
        QTest::newRow("second example")
            << QByteArray("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00")
            << true << 5 << "19200 8N2";
        QTest::newRow("sum a multiple of 256, complement 0")
            << QByteArray("01 FF FF FD 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 00 00 00")
            << true << 1 << "9600 8N1";
        QTest::newRow("38400 8E1")
            << QByteArray("09 0C 26 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 3F C1 00")
            << true << 9 << "38400 8E1";
        QTest::newRow("bad checksum")
            << QByteArray("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F1 10 00")
            << false << 1 << "9600 8N1";
        QTest::newRow("trailing byte not 0")
            << QByteArray("01 FF FF 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 FD 01")
            << false << 1 << "9600 8N1";
        QTest::newRow("message 21 on the start screen")
            << QByteArray("01 FF FF 00 15 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 18 E8 00")
            << false << 1 << "9600 8N1";
        QTest::newRow("unknown format code")
            << QByteArray("01 FF 0F 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 13 ED 00")
            << false << 1 << "9600 8N1";
    }
    void image2004() {
        QFETCH(QByteArray, upload);
        QFETCH(bool, accepted);
        QFETCH(int, address);
        QFETCH(QString, line);
        Module m = makeModule(Model::Korvo420);
        const Result r = m.receive(bytes(upload));
        QCOMPARE(r.verdict, accepted ? Verdict::ConfigApplied : Verdict::ConfigRejected);
        QVERIFY(r.reply.empty());
        QCOMPARE(m.config2004().has_value(), accepted);
        QCOMPARE(m.address(), address);
        QCOMPARE(QString::fromStdString(describe(m.line())), line);
    }

    void image2004Fields() {
        const auto d = decode2004(
            bytes("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00"));
        QVERIFY2(d.config, d.reason.c_str());
        QCOMPARE(d.config->ioDirections, std::uint8_t{0x81});
        QCOMPARE(d.config->startScreen, (std::array<int, 4>{1, 2, 0, 20}));
        const int widths[] = {5, 3, 1, 1}, decimals[] = {2, 0, 0, 1}, locations[] = {0, 10, 18, 3};
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(d.config->fields[i].width, widths[i]);
            QCOMPARE(d.config->fields[i].decimals, decimals[i]);
            QCOMPARE(d.config->fields[i].location, locations[i]);
        }
        const auto words = describe(*d.config);
        QVERIFY(std::find(words.begin(), words.end(), "IO pins 1..8: OUT IN IN IN IN IN IN OUT") !=
                words.end());
    }

    // After an upload the module answers at its new address only.
    void uploadMovesTheAddress() {
        Module m = makeModule(Model::Korvo420);
        m.receive(bytes("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00"));
        QCOMPARE(m.receive(withCrc(bytes("01 04 00 00 00 01"))).verdict, Verdict::OtherSlave);
        const Result r = m.receive(withCrc(bytes("05 04 00 00 00 01")));
        QCOMPARE(hexOf(r.reply), hexOf(withCrc(bytes("05 04 02 00 0A"))));
    }

    // An image of the other model is recognised, said so, and not applied.
    void otherModelsImageIgnored() {
        Module m = makeModule(Model::Korvo420);
        const Result r = m.receive(default1602());
        QCOMPARE(r.verdict, Verdict::Ignored);
        QVERIFY(r.events.front().find("16x2 configuration upload") != std::string::npos);
        QVERIFY(!m.config1602() && !m.config2004());
    }

    // Faults reshape replies (and only replies) and are counted.
    void faults_data() {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("applied");
        const QByteArray coilOn = "01 05 00 03 FF 00 7C 3A";
        QTest::newRow("no reply") << QByteArray("--no-reply") << coilOn << QByteArray() << true;
        QTest::newRow("corrupt CRC") << QByteArray("--corrupt-crc") << coilOn
                                     << QByteArray("01 05 00 03 FF 00 83 3A") << true;
        QTest::newRow("truncate") << QByteArray("--truncate 5") << coilOn
                                  << QByteArray("01 05 00 03 FF") << true;
        QTest::newRow("truncate past the end")
            << QByteArray("--truncate 20") << coilOn << coilOn << true;
        QTest::newRow("extra") << QByteArray("--extra 3") << coilOn
                               << QByteArray("01 05 00 03 FF 00 7C 3A 00 00 00") << true;
        QTest::newRow("exception, nothing applied")
            << QByteArray("--exception 4") << coilOn << QByteArray("01 85 04 43 53") << false;
        QTest::newRow("exception to a broadcast: silent, nothing applied")
            << QByteArray("--exception 4") << QByteArray("00 05 00 03 FF 00 7D EB") << QByteArray()
            << false;
        QTest::newRow("echo") << QByteArray("--echo") << coilOn << coilOn + " " + coilOn << true;
        QTest::newRow("echo of a frame for another slave")
            << QByteArray("--echo") << QByteArray("02 05 00 03 FF 00 7C 09")
            << QByteArray("02 05 00 03 FF 00 7C 09") << false;
        QTest::newRow("echo without a reply")
            << QByteArray("--echo --no-reply") << coilOn << coilOn << true;
        QTest::newRow("corrupt and truncate: the cut comes last")
            << QByteArray("--corrupt-crc --truncate 7") << coilOn
            << QByteArray("01 05 00 03 FF 00 83") << true;
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
            const Result r = m.receive(bytes(request));
            QCOMPARE(hexOf(r.reply), reply);
            QCOMPARE(m.coil(3), applied);
            const FaultCounts& c = m.faultCounts();
            const unsigned total =
                c.noReply + c.corruptCrc + c.truncate + c.extra + c.exception + c.echo;
            QVERIFY(total >= static_cast<unsigned>(round) || options.contains("truncate 20"));
        }
    }

    void options_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("valid");
        QTest::newRow("nothing") << "" << true;
        QTest::newRow("everything")
            << "--model 216 --address 247 --baud 38400 --format 8E1 --input-registers 0,1,65535"
               " --link /tmp/x --no-pace --delay 100 --corrupt-crc --truncate 0 --extra 256"
               " --exception 0x0B --echo --no-reply"
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
