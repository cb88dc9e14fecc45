// SPDX-License-Identifier: MIT
#include <QTest>

#include "core/busframer.h"
#include "core/busstats.h"
#include "core/image1602.h"
#include "core/image2004.h"
#include "tests/support/frames.h"

using namespace testsupport;

namespace {

using busframe::Direction;
using busframe::Kind;

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

QString kindName(Kind k) {
    switch (k) {
        case Kind::Modbus:
            return QStringLiteral("modbus");
        case Kind::Exception:
            return QStringLiteral("exception");
        case Kind::Upload1602:
            return QStringLiteral("upload1602");
        case Kind::Upload2004:
            return QStringLiteral("upload2004");
        case Kind::CrcError:
            return QStringLiteral("crc-error");
        case Kind::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}

// "reply modbus 01 04 02 00 0A 39 37 answers 1 [short-gap]"; "missed 1"
void render(const busframe::Output& out, QStringList& into) {
    for (const auto& f : out.frames) {
        QString line = QStringLiteral("%1 %2 %3")
                           .arg(busframe::directionName(f.direction), kindName(f.kind),
                                hexOf(QByteArray(reinterpret_cast<const char*>(f.bytes.data()),
                                                 static_cast<qsizetype>(f.bytes.size()))));
        if (f.requestNumber) {
            line += QStringLiteral(" answers %1").arg(*f.requestNumber);
        }
        if (f.flags != 0) {
            line += QStringLiteral(" [%1]").arg(busframe::flagNames(f.flags));
        }
        into << line;
    }
    for (const auto& m : out.missed) {
        into << QStringLiteral("missed %1").arg(m.requestNumber);
    }
}

// Each step is "T HEX" (bytes read together at T µs) or "T idle"; the line then closes.
QStringList play(busframe::Framer& framer, const QStringList& steps) {
    QStringList seen;
    for (const QString& step : steps) {
        const qsizetype space = step.indexOf(u' ');
        const std::int64_t t = step.left(space).toLongLong();
        const QString rest = step.mid(space + 1);
        if (rest == QLatin1String("idle")) {
            render(framer.idle(t), seen);
        } else {
            const QByteArray bytes = fromHex(rest.toLatin1().constData());
            render(framer.feed(bytesOf(bytes), t), seen);
        }
    }
    render(framer.finish(), seen);
    return seen;
}

QString hex(const QByteArray& bytes) {
    return hexOf(bytes);
}

const QByteArray Read03 = withCrc("01 03 00 00 00 02");
const QByteArray Reply03 = withCrc("01 03 04 00 0A 00 0B");
const QByteArray Write06 = withCrc("02 06 00 01 12 34");
const QByteArray Write16 = withCrc("01 10 00 03 00 02 04 48 49 20 20");
const QByteArray Reply16 = withCrc("01 10 00 03 00 02");
const QByteArray Write15 = withCrc("11 0F 00 13 00 0A 02 CD 01");
const QByteArray Reply15 = withCrc("11 0F 00 13 00 0A");
const QByteArray Read01 = withCrc("11 01 00 13 00 25");
const QByteArray Reply01 = withCrc("11 01 05 CD 6B B2 0E 1B");
const QByteArray Read02 = withCrc("11 02 00 C4 00 16");
const QByteArray Reply02 = withCrc("11 02 03 AC DB 35");
const QByteArray Read04 = withCrc("01 04 00 00 00 01");
const QByteArray Exception04 = withCrc("01 84 02");
const QByteArray Unknown2B = withCrc("01 2B 0E 01 00");
// A reply whose CRC came out wrong (its low byte inverted, as korvo-sim --corrupt-crc does).
QByteArray corrupted(QByteArray frame) {
    frame[frame.size() - 2] = static_cast<char>(~frame[frame.size() - 2]);
    return frame;
}

QByteArray upload1602() {
    QByteArray bytes = QByteArray("HELLO").leftJustified(16, ' ') + QByteArray(80, ' ');
    return bytes + fromHex("12 C2 05 00 00 00 00 01 00 01 01 B0 50 00");
}
const QByteArray Upload20x4 =
    fromHex("05 19 0E 81 01 02 00 14 01 01 01 01 00 00 00 00 00 00 00 00 C8 38 00");

QString at(std::int64_t t, const QByteArray& bytes) {
    return QStringLiteral("%1 %2").arg(t).arg(hex(bytes));
}

}  // namespace

class TestBusFramer : public QObject {
    Q_OBJECT
  private slots:
    // 9600 8N1 on a line without wire time: a character is 1042 µs, 3.5 characters 3647 µs,
    // 1.5 characters 1563 µs; a request waits 1 s for its reply.
    void frames_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");

        const QString read = QStringLiteral("request modbus ") + hex(Read03);
        const QString reply = QStringLiteral("reply modbus ") + hex(Reply03) + " answers 1";

        QTest::newRow("request and reply apart")
            << QStringList{at(0, Read03), at(20'000, Reply03)} << QStringList{read, reply};
        QTest::newRow("request and reply in one lump")
            << QStringList{at(0, Read03 + Reply03)} << QStringList{read, reply};
        QTest::newRow("two exchanges in one lump")
            << QStringList{at(0, Read03 + Reply03 + Read03 + Reply03)}
            << QStringList{read, reply, "request modbus " + hex(Read03),
                           "reply modbus " + hex(Reply03) + " answers 3"};
        QTest::newRow("a frame in two lumps, no silence to speak of")
            << QStringList{at(0, Read03.left(3)), at(1'000, Read03.mid(3))} << QStringList{read};
        QTest::newRow("a silence of two characters inside a frame")
            << QStringList{at(0, Read03.left(3)), at(2'100, Read03.mid(3))}
            << QStringList{read + " [inner-silence]"};
        QTest::newRow("the rest of a frame read late completes it by its CRC")
            << QStringList{at(0, Read03.left(3)), at(9'000, Read03.mid(3))}
            << QStringList{read + " [inner-silence]"};
        QTest::newRow("a late rest that does not complete the CRC is a frame of its own")
            << QStringList{at(0, Read03.left(3)), at(9'000, fromHex("AA BB CC DD EE"))}
            << QStringList{"unknown crc-error 01 03 00", "unknown unknown AA BB CC DD EE"};
        QTest::newRow("a reply after less than 3.5 characters")
            << QStringList{at(0, Read03), at(2'000, Reply03)}
            << QStringList{read, reply + " [short-gap]"};
        QTest::newRow("a reply after exactly 3.5 characters")
            << QStringList{at(0, Read03), at(3'647, Reply03)} << QStringList{read, reply};
        QTest::newRow("an exception reply")
            << QStringList{at(0, Read04), at(10'000, Exception04)}
            << QStringList{"request modbus " + hex(Read04),
                           "reply exception " + hex(Exception04) + " answers 1"};
        QTest::newRow("request and exception in one lump")
            << QStringList{at(0, Read04 + Exception04)}
            << QStringList{"request modbus " + hex(Read04),
                           "reply exception " + hex(Exception04) + " answers 1"};
        QTest::newRow("a reply with a wrong CRC")
            << QStringList{at(0, Read03), at(10'000, corrupted(Reply03))}
            << QStringList{read, "reply crc-error " + hex(corrupted(Reply03)) + " answers 1"};
        QTest::newRow("a request with a wrong CRC is not taken for a request")
            << QStringList{at(0, corrupted(Read03))}
            << QStringList{"unknown crc-error " + hex(corrupted(Read03))};
        QTest::newRow("a correct CRC at a length the function cannot have")
            << QStringList{at(0, withCrc("01 03 00 00 00 02 00"))}
            << QStringList{"unknown unknown " + hex(withCrc("01 03 00 00 00 02 00"))};
        QTest::newRow("an unknown function ends at the silence")
            << QStringList{at(0, Unknown2B), "3000 idle", "4000 idle", at(50'000, Read03)}
            << QStringList{"unknown unknown " + hex(Unknown2B), read};
        QTest::newRow("an unknown function and a request in one lump stay one frame")
            << QStringList{at(0, Unknown2B + Read03)}
            << QStringList{"unknown unknown " + hex(Unknown2B + Read03)};
        QTest::newRow("a request another request follows was not answered")
            << QStringList{at(0, Read03), at(20'000, Write06), at(40'000, Write06)}
            << QStringList{read, "request modbus " + hex(Write06), "missed 1",
                           "reply modbus " + hex(Write06) + " answers 2"};
        QTest::newRow("a request whose wait runs out was not answered")
            << QStringList{at(0, Read03), "500000 idle", "1000100 idle"}
            << QStringList{read, "missed 1"};
        QTest::newRow("a reply after the wait ran out is not paired")
            << QStringList{at(0, Read03), at(1'200'000, Reply03)}
            << QStringList{read, "reply modbus " + hex(Reply03), "missed 1"};
        QTest::newRow("a broadcast waits for no reply")
            << QStringList{at(0, withCrc("00 06 00 01 12 34")), at(20'000, Read03)}
            << QStringList{"request modbus " + hex(withCrc("00 06 00 01 12 34")),
                           "request modbus " + hex(Read03)};
        QTest::newRow("06 request and its echo in one lump")
            << QStringList{at(0, Write06 + Write06)}
            << QStringList{"request modbus " + hex(Write06),
                           "reply modbus " + hex(Write06) + " answers 1"};
        QTest::newRow("16 request and reply in one lump")
            << QStringList{at(0, Write16 + Reply16)}
            << QStringList{"request modbus " + hex(Write16),
                           "reply modbus " + hex(Reply16) + " answers 1"};
        QTest::newRow("15 request and reply in one lump")
            << QStringList{at(0, Write15 + Reply15)}
            << QStringList{"request modbus " + hex(Write15),
                           "reply modbus " + hex(Reply15) + " answers 1"};
        QTest::newRow("01 request and reply in one lump")
            << QStringList{at(0, Read01 + Reply01)}
            << QStringList{"request modbus " + hex(Read01),
                           "reply modbus " + hex(Reply01) + " answers 1"};
        QTest::newRow("02 request and reply in one lump")
            << QStringList{at(0, Read02 + Reply02)}
            << QStringList{"request modbus " + hex(Read02),
                           "reply modbus " + hex(Reply02) + " answers 1"};
        QTest::newRow("16x2 configuration upload")
            << QStringList{at(0, upload1602().left(64)), at(500, upload1602().mid(64))}
            << QStringList{"request upload1602 " + hex(upload1602())};
        QTest::newRow("20x4 configuration upload")
            << QStringList{at(0, Upload20x4)}
            << QStringList{"request upload2004 " + hex(Upload20x4)};
        QTest::newRow("20x4 upload with a wrong checksum")
            << QStringList{at(0, QByteArray(Upload20x4).replace(20, 1, "\xC9"))}
            << QStringList{"unknown unknown " + hex(QByteArray(Upload20x4).replace(20, 1, "\xC9"))};
        QTest::newRow("an endless burst is cut into bounded frames")
            << QStringList{at(0, QByteArray(300, '\x7F'))}
            << QStringList{"unknown unknown " + hex(QByteArray(256, '\x7F')),
                           "unknown unknown " + hex(QByteArray(44, '\x7F'))};
    }
    void frames() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        busframe::Framer framer(busframe::timingFor(9600, 10, false));
        QCOMPARE(play(framer, steps), expected);
    }

    // Times of a frame: where it starts, the silence before it and the turnaround, on a
    // line with wire time (a lump's bytes arrived one character apart before it was read)
    // and without.
    void times_data() {
        QTest::addColumn<bool>("wireTime");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<qint64>>("startUs");       // per frame
        QTest::addColumn<QList<qint64>>("gapUs");         // per frame; -1 for none
        QTest::addColumn<QList<qint64>>("turnaroundUs");  // per frame; -1 for none

        // Read03 is 8 characters, Reply03 9; one character is 1042 µs.
        QTest::newRow("pseudo-terminal, apart")
            << false << QStringList{at(100'000, Read03), at(120'000, Reply03)}
            << QList<qint64>{100'000, 120'000} << QList<qint64>{-1, 20'000}
            << QList<qint64>{-1, 20'000};
        QTest::newRow("wire, apart")
            << true << QStringList{at(100'000, Read03), at(120'000, Reply03)}
            << QList<qint64>{100'000 - 7 * 1042, 120'000 - 8 * 1042}
            << QList<qint64>{-1, 20'000 - 9 * 1042} << QList<qint64>{-1, 20'000 - 9 * 1042};
        QTest::newRow("wire, one lump: no silence measured between them")
            << true << QStringList{at(100'000, Read03 + Reply03)}
            << QList<qint64>{100'000 - 16 * 1042, 100'000 - 8 * 1042} << QList<qint64>{-1, -1}
            << QList<qint64>{-1, 0};
        QTest::newRow("wire, a lump read sooner than its bytes could arrive")
            << true << QStringList{at(100'000, Read03), at(101'000, Reply03)}
            << QList<qint64>{100'000 - 7 * 1042, 100'000} << QList<qint64>{-1, 0}
            << QList<qint64>{-1, 0};
    }
    void times() {
        QFETCH(bool, wireTime);
        QFETCH(QStringList, steps);
        QFETCH(QList<qint64>, startUs);
        QFETCH(QList<qint64>, gapUs);
        QFETCH(QList<qint64>, turnaroundUs);
        busframe::Framer framer(busframe::timingFor(9600, 10, wireTime));
        std::vector<busframe::Frame> frames;
        for (const QString& step : steps) {
            const qsizetype space = step.indexOf(u' ');
            const QByteArray bytes = fromHex(step.mid(space + 1).toLatin1().constData());
            auto out = framer.feed(bytesOf(bytes), step.left(space).toLongLong());
            frames.insert(frames.end(), out.frames.begin(), out.frames.end());
        }
        auto out = framer.finish();
        frames.insert(frames.end(), out.frames.begin(), out.frames.end());
        QCOMPARE(static_cast<qsizetype>(frames.size()), startUs.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto& f = frames[i];
            QCOMPARE(f.startUs, startUs[static_cast<qsizetype>(i)]);
            QCOMPARE(f.gapUs.value_or(-1), gapUs[static_cast<qsizetype>(i)]);
            QCOMPARE(f.turnaroundUs.value_or(-1), turnaroundUs[static_cast<qsizetype>(i)]);
        }
    }

    void timing_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bits");
        QTest::addColumn<qint64>("characterUs");
        QTest::addColumn<qint64>("interFrameUs");
        QTest::addColumn<qint64>("interCharUs");
        QTest::newRow("9600 8N1") << 9600 << 10 << qint64(1042) << qint64(3647) << qint64(1563);
        QTest::newRow("19200 8E1") << 19200 << 11 << qint64(573) << qint64(2006) << qint64(860);
        // Above 19200 the silences are fixed.
        QTest::newRow("38400 8N1") << 38400 << 10 << qint64(261) << qint64(1750) << qint64(750);
    }
    void timing() {
        QFETCH(int, baud);
        QFETCH(int, bits);
        const busframe::Timing t = busframe::timingFor(baud, bits);
        QTEST(qint64{t.characterUs}, "characterUs");
        QTEST(qint64{t.interFrameUs}, "interFrameUs");
        QTEST(qint64{t.interCharUs}, "interCharUs");
    }

    // The per-slave figures from a line's frames.
    void tally_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("figures");

        // Turnarounds 10, 20, ... 100 ms on a line without wire time.
        QStringList exchanges;
        for (std::int64_t i = 1; i <= 10; ++i) {
            exchanges << at(i * 1'000'000, Read03) << at(i * 1'000'000 + i * 10'000, Reply03);
        }
        QTest::newRow("ten exchanges")
            << exchanges
            << "1: 10 requests, 10 replies, 0 none, 0 crc, median 50000 p95 100000 max 100000";
        QTest::newRow("no reply, a CRC error and exceptions")
            << QStringList{at(0, Read04),       at(10'000, Exception04),
                           at(100'000, Read04), at(110'000, Exception04),
                           at(200'000, Read04), at(210'000, corrupted(withCrc("01 04 02 00 0A"))),
                           at(300'000, Read04), at(2'000'000, Write06)}
            << "1: 4 requests, 2 replies, 1 none, 1 crc, 02 illegal data address ×2, median "
               "10000 p95 10000 max 10000; 2: 1 requests, 0 replies, 0 none, 0 crc";
    }
    void tally() {
        QFETCH(QStringList, steps);
        QFETCH(QString, figures);
        busframe::Framer framer(busframe::timingFor(9600, 10, false));
        busstats::Tally tally;
        for (const QString& step : steps) {
            const qsizetype space = step.indexOf(u' ');
            const QByteArray bytes = fromHex(step.mid(space + 1).toLatin1().constData());
            tally.add(framer.feed(bytesOf(bytes), step.left(space).toLongLong()));
        }
        tally.add(framer.finish());
        QStringList slaves;
        for (const auto& s : tally.slaves()) {
            QString text = QStringLiteral("%1: %2 requests, %3 replies, %4 none, %5 crc")
                               .arg(s.address)
                               .arg(s.requests)
                               .arg(s.replies)
                               .arg(s.noReply)
                               .arg(s.crcErrors);
            if (!s.exceptions.empty()) {
                text += QStringLiteral(", ") + busstats::exceptionsText(s);
            }
            if (s.maxUs) {
                text += QStringLiteral(", median %1 p95 %2 max %3")
                            .arg(*s.medianUs)
                            .arg(*s.p95Us)
                            .arg(*s.maxUs);
            }
            slaves << text;
        }
        QCOMPARE(slaves.join(QStringLiteral("; ")), figures);
    }
};

QTEST_APPLESS_MAIN(TestBusFramer)
#include "test_busframer.moc"
