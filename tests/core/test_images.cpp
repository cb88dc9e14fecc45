// SPDX-License-Identifier: MIT
#include <QTest>

#include "core/image1602.h"
#include "core/image2004.h"

Q_DECLARE_METATYPE(image1602::Choices)
Q_DECLARE_METATYPE(image2004::Choices)

namespace {

QByteArray hexOf(const auto& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(' ');
}

}  // namespace

class TestConfigImages : public QObject {
    Q_OBJECT
  private slots:
    void image1602_data() {
        QTest::addColumn<image1602::Choices>("choices");
        QTest::addColumn<QByteArray>("tail");  // offsets 96..109
        QTest::newRow("9600 8N1, all first items")
            << image1602::Choices{} << QByteArray("24c0010000000000000101e71900");
        image1602::Choices c;  // 9 + 208 + 37 + 1 + 1 = 256: the complement of 256 goes in as 0
        c.baud = c.dataFormat = 2;
        c.address = 36;
        QTest::newRow("38400 8E1, sum 0") << c << QByteArray("09d0250000000000000101000000");
        c = {.messages = {},
             .baud = 1,
             .dataFormat = 1,
             .address = 246,
             .width = {4, 2},
             .decimalPoint = {4, 2},
             .location = {13, 7},
             .startLine = {0, 6}};
        QTest::newRow("19200 8N2, last items") << c << QByteArray("12c2f704020d0700060503f30d00");
    }
    void image1602() {
        QFETCH(image1602::Choices, choices);
        QFETCH(QByteArray, tail);
        const auto built = image1602::build(choices, codepage::windows1252());
        QVERIFY(built);
        constexpr qsizetype MessagesHex = 288;  // 96 bytes, two digits and a space each
        QCOMPARE(hexOf(built->image).left(MessagesHex - 1), QByteArray(96, ' ').toHex(' '));
        QCOMPARE(hexOf(built->image).mid(MessagesHex), QByteArray::fromHex(tail).toHex(' '));
    }

    void messages1602_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("empty") << QString() << QByteArray(16, ' ');
        QTest::newRow("three") << "abc" << QByteArray("abc") + QByteArray(13, ' ');
        QTest::newRow("sixteen") << "0123456789ABCDEF" << QByteArray("0123456789ABCDEF");
        QTest::newRow("Windows-1252")
            << QString::fromUtf8("€é") << QByteArray("\x80\xE9") + QByteArray(14, ' ');
        QTest::newRow("no such byte")
            << QString::fromUtf8("aΩ😀b") << QByteArray("a??b") + QByteArray(12, ' ');
    }
    void messages1602() {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        image1602::Choices c;
        c.messages[2] = text;
        const auto built = image1602::build(c, codepage::windows1252());
        QVERIFY(built);
        const QByteArray& msgBytes = built->msgBytes;
        QCOMPARE(msgBytes.size(), 96);
        QCOMPARE(msgBytes.mid(32, 16), field);
        QCOMPARE(msgBytes.mid(48, 16), QByteArray(16, ' '));  // nothing shifts into the next
        QCOMPARE(built->image[109], 0);
    }

    void upload2004_data() {
        QTest::addColumn<image2004::Choices>("choices");
        QTest::addColumn<QByteArray>("wire");
        const auto row = [](const char* name, const image2004::Choices& c, const char* wire) {
            QTest::newRow(name) << c << QByteArray(wire);
        };
        row("first items", {}, "01ffff0000000000010101010000000000000000 03fd00");
        row("second example",
            {.address = 4,
             .baud = 1,
             .dataFormat = 1,
             .io = {1, 0, 0, 0, 0, 0, 0, 1},
             .startLine = {1, 2, 0, 20},
             .width = {4, 2, 0, 0},
             .decimalPoint = {2, 0, 0, 1},
             .location = {0, 10, 18, 3}},
            "05190e81010200140503010102000001000a1203 f01000");
        row("19200 8E1", {.baud = 1, .dataFormat = 2},
            "0119260000000000010101010000000000000000 44bc00");
        row("247, 38400, all OUT",
            {.address = 246, .baud = 2, .dataFormat = 0, .io = {1, 1, 1, 1, 1, 1, 1, 1}},
            "f70cffff00000000010101010000000000000000 05fb00");
        // 245 + 255 + 255 + 4 + 9 = 768
        row("sum 0", {.address = 244, .location = {9, 0, 0, 0}},
            "f5ffff0000000000010101010000000009000000 000000");
        row("pin 8 alone", {.io = {0, 0, 0, 0, 0, 0, 0, 1}},
            "01ffff8000000000010101010000000000000000 837d00");
        row("pins without a direction are IN", {.io = {-1, 1, -1, -1, -1, -1, -1, 1}},
            "01ffff8200000000010101010000000000000000 857b00");
    }
    void upload2004() {
        QFETCH(image2004::Choices, choices);
        QFETCH(QByteArray, wire);
        const auto upload = image2004::buildUpload(choices);
        QVERIFY(upload);
        QCOMPARE(hexOf(*upload), QByteArray::fromHex(wire).toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TestConfigImages)
#include "test_images.moc"
