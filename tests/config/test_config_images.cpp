#include <QTest>

#include <numeric>

#include "image1602.h"
#include "image2004.h"

Q_DECLARE_METATYPE(Choices1602)
Q_DECLARE_METATYPE(Choices2004)

namespace {

QByteArray tail1602(const CfgImage1602& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()) + 96, 14);
}

QByteArray bytes(const Upload2004& upload) {
    return QByteArray(reinterpret_cast<const char*>(upload.data()),
                      static_cast<qsizetype>(upload.size()));
}

int sumOf(const std::uint8_t* first, const std::uint8_t* last) {
    return std::accumulate(first, last, 0);
}

}  // namespace

class TestConfigImages : public QObject {
    Q_OBJECT
  private slots:
    void image1602_data() {
        QTest::addColumn<Choices1602>("choices");
        QTest::addColumn<QByteArray>("tail");  // offsets 96..109

        const Choices1602 first;
        QTest::newRow("all first items")
            << first << QByteArray::fromHex("24C0010000000000000101E71900");

        // 9 + 208 + 37 + 1 + 1 = 256: the complement of 256 is stored as 0.
        Choices1602 wrap = first;
        wrap.baud = 2;
        wrap.dataFormat = 2;
        wrap.address = 36;
        QTest::newRow("sum wraps to 0")
            << wrap << QByteArray::fromHex("09D0250000000000000101000000");

        Choices1602 mixed = first;
        mixed.baud = 1;
        mixed.dataFormat = 1;
        mixed.address = 246;
        mixed.decimalPoint = {4, 2};
        mixed.location = {13, 7};
        mixed.startLine = {0, 6};
        mixed.width = {4, 2};
        // 18+194+247+4+2+13+7+0+6+5+3 = 499 -> 243, complement 13
        QTest::newRow("last items") << mixed << QByteArray::fromHex("12C2F704020D0700060503F30D00");
    }
    void image1602() {
        QFETCH(Choices1602, choices);
        QFETCH(QByteArray, tail);
        const auto image = buildImage1602(choices);
        QVERIFY(image);
        QCOMPARE(image->size(), std::size_t{110});
        QCOMPARE(tail1602(*image).toHex(' '), tail.toHex(' '));
        QVERIFY(std::all_of(image->begin(), image->begin() + 96, [](auto b) { return b == 32; }));
        QCOMPARE((sumOf(image->data(), image->data() + 107) + (*image)[108]) % 256, 0);
    }

    void messages1602_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("empty") << QString() << QByteArray(16, ' ');
        QTest::newRow("three") << "abc" << QByteArray("abc") + QByteArray(13, ' ');
        QTest::newRow("sixteen") << "0123456789ABCDEF" << QByteArray("0123456789ABCDEF");
        QTest::newRow("spaces kept") << " x " << QByteArray(" x ") + QByteArray(13, ' ');
        QTest::newRow("cp1252") << QString::fromUtf8("€é")
                                << QByteArray("\x80\xE9") + QByteArray(14, ' ');
        QTest::newRow("no cp1252 byte")
            << QString::fromUtf8("aΩ😀b") << QByteArray("a??b") + QByteArray(12, ' ');
    }
    void messages1602() {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        // The same text in the 3rd box: the 2nd and 4th stay blank, nothing shifts.
        Choices1602 c;
        c.messages[2] = text;
        const auto image = buildImage1602(c);
        QVERIFY(image);
        const QByteArray all(reinterpret_cast<const char*>(image->data()), 96);
        QCOMPARE(all.mid(32, 16), field);
        QCOMPARE(all.mid(16, 16), QByteArray(16, ' '));
        QCOMPARE(all.mid(48, 16), QByteArray(16, ' '));
    }

    void codes1602() {
        for (int i = 0; i < 3; ++i) {
            Choices1602 c;
            c.baud = i;
            c.dataFormat = i;
            const auto image = buildImage1602(c);
            QVERIFY(image);
            QCOMPARE((*image)[96], (std::array<int, 3>{36, 18, 9})[i]);
            QCOMPARE((*image)[97], (std::array<int, 3>{192, 194, 208})[i]);
        }
    }

    void unselected1602_data() {
        QTest::addColumn<Choices1602>("choices");
        QTest::addColumn<QString>("caption");
        Choices1602 c;
        c.baud = -1;
        QTest::newRow("typed baud") << c << "Baud Rate";
        c = {};
        c.dataFormat = 3;
        QTest::newRow("format past list") << c << "Data Format";
        c = {};
        c.address = 247;
        QTest::newRow("address 248") << c << "Slave Address";
        c = {};
        c.width[1] = -1;
        QTest::newRow("width 2") << c << "Width of Field 2 ( LINE 1 )";
        c = {};
        c.startLine[0] = 7;
        QTest::newRow("start line 0") << c << "Startup Screen LINE 0";
    }
    void unselected1602() {
        QFETCH(Choices1602, choices);
        QFETCH(QString, caption);
        QCOMPARE(unselectedList1602(choices).value_or(QString()), caption);
        CfgImage1602 image{};
        image[96] = 0x5A;
        QByteArray msg("kept");
        QVERIFY(!fillCfgData1602(choices, image, msg));
        QCOMPARE(image[96], 0x5A);
        QCOMPARE(msg, QByteArray("kept"));
    }

    void refill1602() {
        // The window's image is reused: a send rewrites 0..108 and never byte 109.
        CfgImage1602 image;
        image.fill(0xEE);
        QByteArray msg;
        Choices1602 c;
        c.messages[0] = "hi";
        QVERIFY(fillCfgData1602(c, image, msg));
        QCOMPARE(msg.size(), 96);
        QCOMPARE(msg.left(3), QByteArray("hi "));
        QCOMPARE(image[109], 0xEE);
        QVERIFY(std::equal(image.begin(), image.begin() + 109, buildImage1602(c)->begin()));
    }

    void upload2004_data() {
        QTest::addColumn<Choices2004>("choices");
        QTest::addColumn<QByteArray>("wire");

        const Choices2004 first;
        QTest::newRow("all first items")
            << first << QByteArray::fromHex("01FFFF000000000001010101000000000000000003FD00");

        Choices2004 second;
        second.address = 4;
        second.baud = 1;
        second.dataFormat = 1;
        second.io = {1, 0, 0, 0, 0, 0, 0, 1};
        second.startLine = {1, 2, 0, 20};
        second.width = {4, 2, 0, 0};
        second.decimalPoint = {2, 0, 0, 1};
        second.location = {0, 10, 18, 3};
        QTest::newRow("second example")
            << second << QByteArray::fromHex("05190E81010200140503010102000001000A1203F01000");

        Choices2004 fmt = first;
        fmt.baud = 1;
        fmt.dataFormat = 2;
        QTest::newRow("19200 8E1")
            << fmt << QByteArray::fromHex("011926000000000001010101000000000000000044BC00");

        Choices2004 none = first;
        none.baud = -1;
        none.dataFormat = -1;
        QTest::newRow("no baud, no format")
            << none << QByteArray::fromHex("01FFFF000000000001010101000000000000000003FD00");

        Choices2004 last = first;
        last.address = 246;
        last.io.fill(1);
        QTest::newRow("address 247, all OUT")
            << last << QByteArray::fromHex("F7FFFFFF00000000010101010000000000000000F80800");

        Choices2004 wrap = first;
        wrap.address = 244;  // 245 + 255 + 255 + 4 widths + location 9 = 768 = 3 * 256
        wrap.location[0] = 9;
        QTest::newRow("sum wraps to 0")
            << wrap << QByteArray::fromHex("F5FFFF0000000000010101010000000009000000000000");
    }
    void upload2004() {
        QFETCH(Choices2004, choices);
        QFETCH(QByteArray, wire);
        const auto upload = buildUpload2004(choices);
        QVERIFY(upload);
        QCOMPARE(bytes(*upload).toHex(' '), wire.toHex(' '));
    }

    void codes2004() {
        const std::array<int, 4> bauds{255, 25, 12, 255};
        const std::array<int, 4> formats{255, 14, 38, 255};
        for (int i = -1; i < 3; ++i) {
            const auto at = static_cast<std::size_t>(i < 0 ? 3 : i);
            QCOMPARE(baudCode2004(i), bauds[at]);
            QCOMPARE(formatCode2004(i), formats[at]);
        }
    }

    void ioBits2004() {
        std::array<int, IoPins2004> io{};
        QCOMPARE(ioDirectionByte(io), 0);
        for (std::size_t pin = 0; pin < io.size(); ++pin) {
            io.fill(0);
            io[pin] = 1;
            QCOMPARE(int(ioDirectionByte(io)), 1 << pin);
        }
        io = {1, 0, 0, 0, 0, 0, 0, 1};
        QCOMPARE(ioDirectionByte(io), 0x81);
    }

    void unselected2004_data() {
        QTest::addColumn<Choices2004>("choices");
        QTest::addColumn<QString>("caption");
        Choices2004 c;
        c.address = -1;
        QTest::newRow("address") << c << "Slave Address";
        c = {};
        c.io[7] = -1;
        QTest::newRow("pin 8") << c << "IO Direction of pin 8";
        c = {};
        c.startLine[3] = -1;
        QTest::newRow("start line 3") << c << "Start Screen Line 3";
        c = {};
        c.width[0] = -1;
        QTest::newRow("width 1") << c << "Width of Field 1 ( Line 0 )";
        c = {};
        c.decimalPoint[2] = 6;
        QTest::newRow("decimal point 3") << c << "Decimal Point of Field 3 ( Line 2 )";
        c = {};
        c.location[1] = -1;
        QTest::newRow("location 2") << c << "Location of Field 2 ( Line 1 )";
    }
    void unselected2004() {
        QFETCH(Choices2004, choices);
        QFETCH(QString, caption);
        QCOMPARE(unselectedList2004(choices).value_or(QString()), caption);
        std::array<std::uint8_t, 51> image{};
        image[0] = 0x5A;
        QVERIFY(!fillCfgData2004(choices, image));
        QCOMPARE(image[0], 0x5A);
    }

    void trailingZero() {
        const std::array<std::uint8_t, 4> image{1, 2, 3, 4};
        QCOMPARE(withTrailingZero(image, 2), QByteArray::fromHex("010200"));
        QCOMPARE(withTrailingZero(image, 9), QByteArray::fromHex("0102030400"));
    }
};

QTEST_GUILESS_MAIN(TestConfigImages)
#include "test_config_images.moc"
