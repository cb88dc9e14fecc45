#include <QSet>
#include <QTest>

#include "cp1252.h"

class TestCp1252 : public QObject {
    Q_OBJECT
  private slots:
    void bothWays_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII") << QStringLiteral("9600,n,8,1") << QByteArray("9600,n,8,1");
        QTest::newRow("euro sign") << QStringLiteral("\u20AC") << QByteArray("\x80");
        QTest::newRow("A umlaut") << QStringLiteral("\u00C4") << QByteArray("\xC4");
        QTest::newRow("y diaeresis, both cases")
            << QStringLiteral("\u00FF\u0178") << QByteArray("\xFF\x9F");
        QTest::newRow("quotes and dashes")
            << QStringLiteral("\u201Cx\u201D \u2013 \u2014") << QByteArray("\x93x\x94 \x96 \x97");
        QTest::newRow("unassigned bytes as C1 controls")
            << QStringLiteral("\u0081\u008D\u008F\u0090\u009D")
            << QByteArray("\x81\x8D\x8F\x90\x9D");
    }
    void bothWays() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(cp1252::fromUnicode(text), bytes);
        QCOMPARE(cp1252::toUnicode(bytes), text);
    }

    void unmappableBecomesQuestionMark_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CJK") << QStringLiteral("\u4E2D") << QByteArray("?");
        QTest::newRow("Greek omega") << QStringLiteral("\u03A9") << QByteArray("?");
        // U+0080 has no byte of its own: 0x80 is the euro sign.
        QTest::newRow("C1 control taken by a letter")
            << QStringLiteral("\u0080") << QByteArray("?");
        QTest::newRow("pair outside the BMP is one character")
            << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) + u'x' << QByteArray("?x");
        QTest::newRow("lone low surrogate at end")
            << u'x' + QString(QChar(0xDE00)) << QByteArray("x?");
    }
    void unmappableBecomesQuestionMark() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(cp1252::fromUnicode(text), bytes);
    }

    // Any byte the file may hold comes back unchanged, and no two bytes read the same.
    void everyByteRoundTrips() {
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            all.append(static_cast<char>(b));
        }
        const QString text = cp1252::toUnicode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
        QCOMPARE(cp1252::fromUnicode(text), all);
    }
};

QTEST_GUILESS_MAIN(TestCp1252)
#include "test_cp1252.moc"
