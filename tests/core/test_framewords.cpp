// SPDX-License-Identifier: MIT
#include <QTest>

#include "core/framewords.h"
#include "tests/support/wordedframes.h"

using namespace testsupport;

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

}  // namespace

class TestFrameWords : public QObject {
    Q_OBJECT
  private slots:
    void describe_data() {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < wordedFrames().size(); ++i) {
            QTest::newRow(wordedFrames()[i].name) << static_cast<int>(i);
        }
    }
    void describe() {
        QFETCH(int, index);
        const WordedFrame& f = wordedFrames()[static_cast<std::size_t>(index)];
        QCOMPARE(
            framewords::describe(bytesOf(f.bytes), f.line, f.direction, codepage::windows1252()),
            f.words);
    }

    void exceptions_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<int>("code");  // -1: not a well-formed exception reply
        QTest::addColumn<QString>("name");
        QTest::newRow("01") << QByteArray::fromHex("01840182c0") << 1 << "01 illegal function";
        QTest::newRow("02") << QByteArray::fromHex("018402c2c1") << 2 << "02 illegal data address";
        QTest::newRow("03") << QByteArray::fromHex("0184030301") << 3 << "03 illegal data value";
        QTest::newRow("04") << QByteArray::fromHex("01840442c3") << 4 << "04 server device failure";
        QTest::newRow("06") << QByteArray::fromHex("018606c262") << 6 << "06 server device busy";
        QTest::newRow("0B followed by a byte") << QByteArray::fromHex("01840B02C70A") << 11
                                               << "0B gateway target device failed to respond";
        QTest::newRow("wrong CRC") << QByteArray::fromHex("018402c2c2") << -1 << "";
        QTest::newRow("top bit clear") << QByteArray::fromHex("010402") << -1 << "";
        QTest::newRow("four bytes") << QByteArray::fromHex("018402c2") << -1 << "";
    }
    void exceptions() {
        QFETCH(QByteArray, waiting);
        QFETCH(int, code);
        QFETCH(QString, name);
        const auto found = framewords::exceptionCode(bytesOf(waiting));
        QCOMPARE(found ? int(*found) : -1, code);
        if (found) {
            QCOMPARE(framewords::exceptionName(*found), name);
        }
    }
};

QTEST_APPLESS_MAIN(TestFrameWords)
#include "test_framewords.moc"
