// SPDX-License-Identifier: MIT
#include <QTest>

#include <algorithm>

#include "core/finder.h"
#include "tests/support/frames.h"

using namespace testsupport;

using finder::Format;
using finder::Line;
using finder::Probe;
using finder::Verdict;

Q_DECLARE_METATYPE(finder::Probe)
Q_DECLARE_METATYPE(std::optional<finder::Probe>)

namespace {

std::span<const std::uint8_t> bytes(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

QByteArray request(int address) {
    const auto r = finder::probeRequest(address);
    return {reinterpret_cast<const char*>(r.data()), static_cast<qsizetype>(r.size())};
}

}  // namespace

class TestFinder : public QObject {
    Q_OBJECT
  private slots:
    void plan_data() {
        QTest::addColumn<std::optional<Probe>>("first");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("size");
        QTest::addColumn<Probe>("third");  // the first probe after the two likeliest places
        QTest::addColumn<Probe>("last");
        const Probe main{{38400, Format::N82}, 37};
        const Probe factory{finder::FactoryLine, 1};
        QTest::newRow("main window settings")
            << std::optional(main) << 1 << 247 << 2223 << Probe{main.line, 1}
            << Probe{{38400, Format::E81}, 247};
        QTest::newRow("main window at the factory default")
            << std::optional(factory) << 1 << 247 << 2223 << Probe{finder::FactoryLine, 2}
            << Probe{{38400, Format::E81}, 247};
        QTest::newRow("none") << std::optional<Probe>() << 1 << 247 << 2223
                              << Probe{finder::FactoryLine, 2} << Probe{{38400, Format::E81}, 247};
        // The likeliest places are tried even outside a narrowed range.
        QTest::newRow("range 10..20") << std::optional(main) << 10 << 20 << 2 + 9 * 11
                                      << Probe{main.line, 10} << Probe{{38400, Format::E81}, 20};
        QTest::newRow("range past the last address")
            << std::optional<Probe>() << 240 << 400 << 1 + 9 * 8 << Probe{finder::FactoryLine, 240}
            << Probe{{38400, Format::E81}, 247};
    }
    void plan() {
        QFETCH(std::optional<Probe>, first);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, size);
        QFETCH(Probe, third);
        QFETCH(Probe, last);
        const auto p = finder::plan({from, to}, first);
        QCOMPARE(static_cast<int>(p.size()), size);
        QVERIFY(p[0] == first.value_or(Probe{finder::FactoryLine, 1}));
        QVERIFY(std::find(p.begin(), p.begin() + 2, Probe{finder::FactoryLine, 1}) !=
                p.begin() + 2);
        QVERIFY(p[first && !(*first == Probe{finder::FactoryLine, 1}) ? 2 : 1] == third);
        QVERIFY(p.back() == last);
        // Each probe once, and the line changes only between whole groups.
        int switches = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            QVERIFY(std::count(p.begin(), p.end(), p[i]) == 1);
            switches += i > 0 && !(p[i].line == p[i - 1].line) ? 1 : 0;
        }
        QVERIFY(switches <= 10);
    }

    void timing() {
        const finder::Micros ms2{2000};
        // 12.5 characters of 10 bits at 9600, and of 11 bits at 38400, plus the allowance.
        QCOMPARE(finder::deadTime({9600, Format::N81}, 8, ms2).count(), 13021 + 2000);
        QCOMPARE(finder::deadTime({38400, Format::E81}, 8, ms2).count(), 3581 + 2000);
        QCOMPARE(finder::answerGap({19200, Format::N82}, ms2).count(), 2006 + 2000);
        // With nothing answering anywhere, the whole bus fits in half a minute.
        const auto all = finder::plan({}, std::nullopt);
        const auto left = finder::timeLeft(all, 8, ms2);
        QVERIFY(left.front() < std::chrono::seconds(30));
        QCOMPARE(left.back().count(), 0);
        QCOMPARE((left[all.size() - 1] - left.back()).count(),
                 finder::deadTime(all.back().line, 8, ms2).count());
    }

    void judge_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<bool>("echoed");
        QTest::addColumn<int>("value");  // register 0, or the exception code + 0x10000
        const QByteArray echo = request(5);
        const QByteArray good = withCrc("05 04 02 01 2C");
        const auto row = [](const char* name, const QByteArray& r, bool quiet, Verdict v,
                            bool echoed = false, int value = -1) {
            QTest::newRow(name) << r << quiet << static_cast<int>(v) << echoed << value;
        };
        row("nothing", {}, true, Verdict::Silent);
        row("answer", good, false, Verdict::Found, false, 300);
        row("answer with stray bytes behind", good + fromHex("00 FF"), true, Verdict::Found, false,
            300);
        row("exception", withCrc("05 84 02"), false, Verdict::Found, false, 0x10002);
        row("echo alone", echo, true, Verdict::Silent, true);
        row("echo, then the answer", echo + good, false, Verdict::Found, true, 300);
        row("part of the echo", echo.left(3), false, Verdict::Waiting);
        row("part of the echo, then silence", echo.left(3), true, Verdict::Silent, true);
        row("two bytes of the echo, then silence", echo.left(2), true, Verdict::Unreadable);
        row("part of an answer", good.left(4), false, Verdict::Waiting);
        row("part of an answer, then silence", good.left(4), true, Verdict::Unreadable);
        row("corrupt CRC", good.left(6) + char(good[6] ^ 1), false, Verdict::Unreadable);
        row("foreign address", withCrc("06 04 02 01 2C"), false, Verdict::Unreadable);
        row("other function", withCrc("05 03 02 01 2C"), false, Verdict::Unreadable);
        row("wrong byte count", withCrc("05 04 04 01 2C 00 00"), false, Verdict::Unreadable);
        row("echo, then a foreign answer", echo + withCrc("06 04 02 01 2C"), false,
            Verdict::Unreadable, true);
    }
    void judge() {
        QFETCH(QByteArray, received);
        QFETCH(bool, quiet);
        QFETCH(int, verdict);
        QFETCH(bool, echoed);
        QFETCH(int, value);
        const auto j = finder::judge(bytes(request(5)), bytes(received), quiet);
        QCOMPARE(static_cast<int>(j.verdict), verdict);
        QCOMPARE(j.echoed, echoed);
        const int got = j.value ? *j.value : j.exceptionCode ? 0x10000 + *j.exceptionCode : -1;
        QCOMPARE(got, value);
    }

    // Probe 5 is under way; probes 3 and 4 may still get their echoes back (3's last five
    // bytes, 4's whole). Each run that opens with one of them is that probe's, up to the
    // next echo; the probe's own bytes begin with its own echo.
    void share_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("reopened");
        QTest::addColumn<QString>("earlier");  // owed index: begin-end, ...
        QTest::addColumn<int>("own");
        const QByteArray mine = request(5);
        const QByteArray four = request(4);
        const QByteArray threeRest = request(3).mid(3);
        const QByteArray answer4 = withCrc("04 04 02 00 0A");
        const auto row = [](const char* name, const QByteArray& r, const char* earlier, int own,
                            bool reopened = false) {
            QTest::newRow(name) << r << reopened << QString::fromLatin1(earlier) << own;
        };
        row("nothing", {}, "", 0);
        row("own echo and answer", mine + withCrc("05 04 02 00 0A"), "", 0);
        row("own answer alone", withCrc("05 04 02 00 0A"), "", 0);
        row("foreign bytes", fromHex("00 FF 04"), "", 0);
        row("an earlier echo", four, "1:0-8", 8);
        row("an earlier echo, then the own", four + mine, "1:0-8", 8);
        row("an earlier echo and answer, then the own", four + answer4 + mine, "1:0-15", 15);
        row("an earlier echo, then the start of the own", four + mine.left(2), "1:0-8", 8);
        row("the start of an earlier echo", four.left(3), "1:0-3", 3);
        row("the rest of a cut echo, then the own", threeRest + mine, "0:0-5", 5);
        row("two earlier echoes, then the own", threeRest + four + answer4 + mine, "0:0-5 1:5-20",
            20);
        row("two earlier echoes, the own still to come", threeRest + four, "0:0-5 1:5-13", 13);
        row("the start of the own echo", mine.left(1), "", 0);
        row("a tail of the newest echo, the port reopened", four.right(2) + mine, "1:0-2", 2, true);
        row("a tail of the newest echo, the port kept", four.right(2) + mine, "", 0);
    }
    void share() {
        QFETCH(QByteArray, received);
        QFETCH(bool, reopened);
        QFETCH(QString, earlier);
        QFETCH(int, own);
        const auto r3 = finder::probeRequest(3);
        const auto r4 = finder::probeRequest(4);
        const std::vector<std::vector<std::uint8_t>> owed{{r3.begin() + 3, r3.end()},
                                                          {r4.begin(), r4.end()}};
        const auto s = finder::share(bytes(received), bytes(request(5)), owed, reopened);
        QStringList runs;
        for (const finder::Segment& g : s.earlier) {
            runs << QStringLiteral("%1:%2-%3").arg(g.owed).arg(g.begin).arg(g.end);
        }
        QCOMPARE(runs.join(u' '), earlier);
        QCOMPARE(static_cast<int>(s.own), own);
    }
};

QTEST_APPLESS_MAIN(TestFinder)
#include "test_finder.moc"
