// SPDX-License-Identifier: MIT
// The shared line of korvo-bus, with time given by the test: who hears what, when two
// writers collide, and how a node's bursts are told apart.

#include <QTest>

#include <algorithm>

#include "sim/bus/medium.h"
#include "tests/support/frames.h"

using namespace testsupport;

using korvo::Medium;
using namespace std::chrono_literals;

namespace {

constexpr auto kChar = 1000us;  // one character time; times in the rows are in half ones
constexpr auto kSilence = 3500us;

struct Write {
    int node;
    int half;  // when, in half character times
    QByteArray bytes;
};

}  // namespace

Q_DECLARE_METATYPE(QList<Write>)

class TestBusMedium : public QObject {
    Q_OBJECT

  private slots:
    void sharedLine_data();
    void sharedLine();
    void heardWhenOnTheWire_data();
    void heardWhenOnTheWire();
    void writerFasterThanTheLineIsCut();
};

void TestBusMedium::sharedLine_data() {
    QTest::addColumn<QList<Write>>("writes");
    QTest::addColumn<int>("echoNode");  // -1: none
    QTest::addColumn<QStringList>("heard");
    QTest::addColumn<unsigned>("collisions");
    QTest::addColumn<QStringList>("notes");

    QTest::newRow("one sender, every other node hears it")
        << QList<Write>{{0, 0, fromHex("01 04 00 00")}} << -1
        << QStringList{"", "01 04 00 00", "01 04 00 00"} << 0U
        << QStringList{"node 1 sent 01 04 00 00"};
    QTest::newRow("an echoing sender hears itself")
        << QList<Write>{{0, 0, fromHex("01 04")}} << 0 << QStringList{"01 04", "01 04", "01 04"}
        << 0U << QStringList{"node 1 sent 01 04"};
    QTest::newRow("request, silence, reply: two bursts, no collision")
        << QList<Write>{{0, 0, fromHex("01 04")}, {1, 11, fromHex("01 84 02")}} << -1
        << QStringList{"01 84 02", "01 04", "01 04 01 84 02"} << 0U
        << QStringList{"node 1 sent 01 04", "node 2 sent 01 84 02"};
    QTest::newRow("a character that begins as the other ends does not collide")
        << QList<Write>{{0, 0, fromHex("AA")}, {1, 2, fromHex("BB")}} << -1
        << QStringList{"BB", "AA", "AA BB"} << 0U
        << QStringList{"node 1 sent AA", "node 2 sent BB"};
    QTest::newRow("two writers half a character apart collide and are heard garbled")
        << QList<Write>{{0, 0, fromHex("F0 FF")}, {1, 1, fromHex("0F FF")}} << -1
        << QStringList{"00 00", "00 00", "00 00 00 00"} << 1U
        << QStringList{"collision #1: nodes 1 and 2 on the line in the same character time",
                       "node 1 sent 00 00", "node 2 sent 00 00"};
    QTest::newRow("three at once are one collision")
        << QList<Write>{{0, 0, fromHex("11")}, {1, 0, fromHex("22")}, {2, 0, fromHex("44")}} << -1
        << QStringList{"00 00", "00 00", "00 00"} << 1U
        << QStringList{"collision #1: nodes 1 and 2 on the line in the same character time",
                       "node 1 sent 00", "node 2 sent 00", "node 3 sent 00"};
    QTest::newRow("two collisions apart are counted twice")
        << QList<Write>{{0, 0, fromHex("AA")},
                        {1, 1, fromHex("AA")},
                        {0, 20, fromHex("AA")},
                        {1, 21, fromHex("AA")}}
        << -1 << QStringList{"AA AA", "AA AA", "AA AA AA AA"} << 2U
        << QStringList{"collision #1: nodes 1 and 2 on the line in the same character time",
                       "node 1 sent AA",
                       "node 2 sent AA",
                       "collision #2: nodes 1 and 2 on the line in the same character time",
                       "node 1 sent AA",
                       "node 2 sent AA"};
}

void TestBusMedium::sharedLine() {
    QFETCH(QList<Write>, writes);
    QFETCH(int, echoNode);
    QFETCH(QStringList, heard);
    QFETCH(unsigned, collisions);
    QFETCH(QStringList, notes);

    Medium medium(3, kChar, kSilence);
    if (echoNode >= 0) {
        medium.setEcho(static_cast<std::size_t>(echoNode), true);
    }
    const Medium::Clock::time_point t0{};
    std::vector<Medium::Heard> got;
    std::vector<Medium::Note> said;
    for (const Write& w : writes) {
        const auto at = t0 + w.half * kChar / 2;
        medium.advance(at, got, said);
        const auto* data = reinterpret_cast<const std::uint8_t*>(w.bytes.constData());
        medium.write(static_cast<std::size_t>(w.node),
                     std::span(data, static_cast<std::size_t>(w.bytes.size())), at);
    }
    medium.advance(t0 + 1s, got, said);
    QVERIFY(!medium.nextDue());

    QStringList perNode(3);
    for (const Medium::Heard& h : got) {
        QByteArray one(1, static_cast<char>(h.byte));
        perNode[static_cast<qsizetype>(h.node)] +=
            (perNode[static_cast<qsizetype>(h.node)].isEmpty() ? "" : " ") + hexOf(one);
    }
    QCOMPARE(perNode, heard);
    QCOMPARE(medium.collisions(), collisions);
    QStringList texts;
    for (const Medium::Note& n : said) {
        texts << QString::fromStdString(n.text);
    }
    QCOMPARE(texts, notes);
    QVERIFY(std::is_sorted(said.begin(), said.end(),
                           [](const auto& a, const auto& b) { return a.at < b.at; }));
}

void TestBusMedium::heardWhenOnTheWire_data() {
    QTest::addColumn<QList<Write>>("writes");
    QTest::addColumn<bool>("byCharacter");
    QTest::addColumn<QList<int>>("heardAfter");  // characters node 2 holds at 1, 2, 3 char times
    QTest::newRow("one write is heard whole once its last character is out")
        << QList<Write>{{0, 0, fromHex("01 02 03")}} << false << QList<int>{0, 0, 3};
    QTest::newRow("a byte-by-byte writer is heard character by character")
        << QList<Write>{{0, 0, fromHex("01")}, {0, 2, fromHex("02")}, {0, 4, fromHex("03")}}
        << false << QList<int>{1, 2, 3};
    QTest::newRow("a write behind another waits for the line")
        << QList<Write>{{0, 0, fromHex("01")}, {0, 0, fromHex("02 03")}} << false
        << QList<int>{1, 1, 3};
    QTest::newRow("by character, one write is heard as it goes out")
        << QList<Write>{{0, 0, fromHex("01 02 03")}} << true << QList<int>{1, 2, 3};
}

void TestBusMedium::heardWhenOnTheWire() {
    QFETCH(QList<Write>, writes);
    QFETCH(bool, byCharacter);
    QFETCH(QList<int>, heardAfter);
    Medium medium(2, kChar, kSilence);
    medium.setByCharacter(byCharacter);
    const Medium::Clock::time_point t0{};
    std::vector<Medium::Heard> got;
    std::vector<Medium::Note> said;
    QList<int> counts;
    qsizetype next = 0;
    for (int chars = 1; chars <= 3; ++chars) {
        // Writes due before this moment go in first, each at its own time.
        for (; next < writes.size() && writes[next].half < 2 * chars; ++next) {
            const auto at = t0 + writes[next].half * kChar / 2;
            medium.advance(at, got, said);
            const auto* data =
                reinterpret_cast<const std::uint8_t*>(writes[next].bytes.constData());
            medium.write(0, std::span(data, static_cast<std::size_t>(writes[next].bytes.size())),
                         at);
        }
        medium.advance(t0 + chars * kChar - 1us, got, said);
        QCOMPARE(got.size(), static_cast<std::size_t>(chars == 1 ? 0 : counts.last()));
        medium.advance(t0 + chars * kChar, got, said);
        counts << static_cast<int>(got.size());
    }
    QCOMPARE(counts, heardAfter);
    QVERIFY(said.empty());  // the burst ends only after the silence
    QCOMPARE(medium.nextDue(), std::optional(t0 + 3 * kChar + kSilence));
}

void TestBusMedium::writerFasterThanTheLineIsCut() {
    Medium medium(2, kChar, kSilence, 16);
    const std::vector<std::uint8_t> flood(20, 0x55);
    QCOMPARE(medium.write(0, flood, {}), 4U);
    QCOMPARE(medium.dropped(), 4U);
    std::vector<Medium::Heard> got;
    std::vector<Medium::Note> said;
    medium.advance(Medium::Clock::time_point{} + 1s, got, said);
    QCOMPARE(got.size(), 16U);
}

QTEST_APPLESS_MAIN(TestBusMedium)
#include "test_busmedium.moc"
