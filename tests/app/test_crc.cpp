// SPDX-License-Identifier: MIT
#include <QTest>

#include "app/modVar.h"
#include "app/modcrc16.h"
#include "core/crc16.h"
#include "core/hex.h"
#include "tests/support/crcexamples.h"

using namespace testsupport;

namespace {

void loadTx(std::initializer_list<std::uint8_t> bytes) {
    TxFrame.fill(0xEE);
    std::copy(bytes.begin(), bytes.end(), TxFrame.begin());
}

QByteArray bytesOf(std::initializer_list<std::uint8_t> bytes) {
    QByteArray out;
    for (auto b : bytes) {
        out.append(static_cast<char>(b));
    }
    return out;
}

}  // namespace

class TestCrc : public QObject {
    Q_OBJECT
  private slots:
    void workedExamples_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("lo");
        QTest::addColumn<QString>("hi");
        for (const CrcExample& e : crcExamples) {
            QTest::newRow(e.name) << e.body << hex::byte(e.lo) << hex::byte(e.hi);
        }
    }
    void workedExamples() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, lo);
        QFETCH(QString, hi);
        TxFrame.fill(0x55);  // bytes past the count must not count
        std::copy(bytes.begin(), bytes.end(), TxFrame.begin());
        const auto count = static_cast<std::int16_t>(bytes.size());
        CalcCRC16(count);
        QCOMPARE(CRCLo, lo);
        QCOMPARE(CRCHi, hi);
    }

    void countOutsideFrameIsClamped() {
        TxFrame.fill(0);
        CalcCRC16(-5);
        QCOMPARE(CRCLo + CRCHi, QString("FFFF"));
        CalcCRC16(1000);  // must not read past the 41 bytes
        const std::uint16_t whole = crc16::modbus(TxFrame);
        QCOMPARE(CRCLo, QString("%1").arg(whole & 0xFF, 2, 16, QChar('0')).toUpper());
    }

    void replyCheck() {
        loadTx({1, 4, 0, 0, 0, 1, 0x31, 0xCA});
        RxData = bytesOf({1, 4, 2, 0, 0x0A, 0x39, 0x37});
        QVERIFY(CheckRxCRC(4));
        QCOMPARE(TxFrame[0], 1);
        QCOMPARE(TxFrame[4], 0x0A);
        QCOMPARE(TxFrame[5], 1);  // past the copied bytes the request stays

        RxData[6] = 0x38;
        QVERIFY(!CheckRxCRC(4));

        // CRC bytes in the wrong order fail.
        RxData = bytesOf({1, 4, 2, 0, 0x0A, 0x37, 0x39});
        QVERIFY(!CheckRxCRC(4));

        // Extra bytes after the CRC do not matter.
        RxData = bytesOf({1, 6, 0, 0, 0, 1, 0x48, 0x0A, 0xDE, 0xAD});
        QVERIFY(CheckRxCRC(5));
    }

    void replyCheckNeverReadsOutside() {
        RxData = bytesOf({1, 4, 2});
        QVERIFY(!CheckRxCRC(4));  // too short
        QVERIFY(!CheckRxCRC(-1));
        RxData = QByteArray(60, '\0');
        QVERIFY(!CheckRxCRC(41));  // would write past TxFrame
    }
};

QTEST_GUILESS_MAIN(TestCrc)
#include "test_crc.moc"
