// SPDX-License-Identifier: MIT
#include <QTest>

#include "core/crc16.h"
#include "core/hex.h"
#include "core/modbus.h"
#include "tests/support/crcexamples.h"

using namespace testsupport;

using modbus::Outcome;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes closed(const Bytes& body) {
    return crc16::closed(body);
}

Bytes bytesOf(const QByteArray& a) {
    return {a.begin(), a.end()};
}

QByteArray q(const Bytes& b) {
    return {reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())};
}

}  // namespace

class TestModbus : public QObject {
    Q_OBJECT
  private slots:
    void closing_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("frame");
        for (const CrcExample& e : crcExamples) {
            QTest::newRow(e.name) << e.body
                                  << e.body + QByteArray(1, static_cast<char>(e.lo)) +
                                         QByteArray(1, static_cast<char>(e.hi));
        }
    }
    void closing() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, frame);
        QCOMPARE(q(crc16::closed(bytesOf(body))), frame);
    }

    void requests() {
        QCOMPARE(q(closed(modbus::read04(1, 0))), q({1, 4, 0, 0, 0, 1, 0x31, 0xCA}));
        QCOMPARE(q(closed(modbus::coil05(1, 0, "0xFF00"))), q({1, 5, 0, 0, 0xFF, 0, 0x8C, 0x3A}));
        // Only the exact upper-case text switches the coil on.
        QCOMPARE(modbus::coil05(1, 0, "0xff00")[4], 0);
        QCOMPARE(modbus::coil05(1, 0, "")[4], 0);
        QCOMPARE(q(modbus::register06(7, 3, 0x12, 0x34)), q({7, 6, 0, 3, 0x12, 0x34}));
        QCOMPARE(modbus::slaveByte(-1), 0);
        QCOMPARE(modbus::slaveByte(254), 255);
    }

    void message16_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ABCD") << QByteArray("ABCD")
                              << q({1, 0x10, 0, 0, 0, 2, 4, 'A', 'B', 'C', 'D', 0x76, 0x84});
        QTest::newRow("empty") << QByteArray() << q(closed({1, 0x10, 0, 0, 0, 0, 0}));
        QTest::newRow("odd gets a space")
            << QByteArray("ABC") << q(closed({1, 0x10, 0, 0, 0, 2, 4, 'A', 'B', 'C', ' '}));
    }
    void message16() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, expected);
        QCOMPARE(q(closed(modbus::message16(1, 0, message))), expected);
    }

    void longMessage() {
        const Bytes twenty = modbus::message16(1, 0, QByteArray(25, 'x'));
        QCOMPARE(twenty.size(), 27u);  // cut to 20, + 7 header bytes
        QCOMPARE(twenty[5], 0x0A);
        QCOMPARE(twenty[6], 0x14);
        QCOMPARE(modbus::shapeOf(modbus::Command::Message16, 20).requestLength, 29);
    }

    void startAddresses() {
        QCOMPARE(modbus::startAddress16(39), 0x27);
        QCOMPARE(modbus::startAddress16(40), 0x28);
        QCOMPARE(modbus::startAddress16(41), 0x32);
        QCOMPARE(modbus::startAddress16(49), 0x82);
    }

    void classify() {
        const auto s04 = modbus::shapeOf(modbus::Command::Read04);
        const Bytes good = {1, 4, 2, 0, 0x0A, 0x39, 0x37};
        QCOMPARE(modbus::classify({}, s04), Outcome::NoResponse);
        // A 5-byte exception reply never reaches the CRC check.
        QCOMPARE(modbus::classify(closed({1, 0x84, 2}), s04), Outcome::Incomplete);
        QCOMPARE(modbus::classify(good, s04), Outcome::Good);
        Bytes extra = good;
        extra.insert(extra.end(), {0xDE, 0xAD, 0xBE});
        QCOMPARE(modbus::classify(extra, s04), Outcome::Good);
        Bytes bad = good;
        bad[4] = 0x0B;
        QCOMPARE(modbus::classify(bad, s04), Outcome::CrcError);
        // An earlier exception reply left waiting puts the next reply out of step.
        Bytes behind = closed({1, 0x84, 2});
        behind.insert(behind.end(), good.begin(), good.end());
        QCOMPARE(modbus::classify(behind, s04), Outcome::CrcError);
        const auto s06 = modbus::shapeOf(modbus::Command::Register06);
        QCOMPARE(modbus::classify(good, s06), Outcome::Incomplete);
        QVERIFY(s06.ticks > 3 * s04.ticks);
    }

    void monitorAndRegisters() {
        const Bytes reply = {1, 4, 2, 0, 0x0A, 0x39, 0x37};
        QCOMPARE(hex::line(reply), QString("01 04 02 00 0A 39 37 "));
        QCOMPARE(hex::line(Bytes{0x00, 0xFF}), QString("00 FF "));
        QCOMPARE(hex::number(0xFF00, 4) + hex::number(0xA, 2) + hex::number(0x12345, 4),
                 QString("FF000A12345"));
        QCOMPARE(modbus::registerText(0, reply), QString("A"));
        QCOMPARE(modbus::registerText(1, reply), QString("10"));
        const Bytes high = {1, 4, 2, 0xAB, 0xCD, 0, 0};
        QCOMPARE(modbus::registerText(0, high), QString("CD"));
        QCOMPARE(modbus::registerText(2, high), QString("43981"));  // unsigned
        QCOMPARE(modbus::registerText(3, high), std::nullopt);
        QCOMPARE(modbus::outcomeText(Outcome::CrcError), QString("CRC Err"));
    }
};

QTEST_GUILESS_MAIN(TestModbus)
#include "test_modbus.moc"
