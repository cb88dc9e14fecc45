// SPDX-License-Identifier: MIT
#include <QSet>
#include <QTest>

#include "core/cp1252.h"
#include "core/inifile.h"

namespace {

void row(const char* name, const QByteArray& file, const char* expected) {
    QTest::newRow(name) << file << QByteArray(expected);
}

}  // namespace

// The code page and the INI format, over bytes in memory.
class TestIniFile : public QObject {
    Q_OBJECT
  private slots:
    void cp1252_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("roundTrip");
        QTest::newRow("euro, A umlaut, y diaeresis")
            << QStringLiteral("\u20AC\u00C4\u0178\u00FF") << QByteArray("\x80\xC4\x9F\xFF") << true;
        QTest::newRow("CJK") << QStringLiteral("\u4E2D1") << QByteArray("?1") << false;
        QTest::newRow("U+0080: 0x80 is the euro")
            << QStringLiteral("\u0080") << QByteArray("?") << false;
        QTest::newRow("pair outside the BMP")
            << QStringLiteral("a\U0001F600b") << QByteArray("a?b") << false;
        QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) << QByteArray("?") << false;
    }
    void cp1252() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, roundTrip);
        QCOMPARE(cp1252::fromUnicode(text), bytes);
        if (roundTrip) {
            QCOMPARE(cp1252::toUnicode(bytes), text);
        }
    }

    // Every byte, the five unassigned ones included, survives a round trip, and no two bytes
    // read the same.
    void cp1252EveryByte() {
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            all.append(static_cast<char>(b));
        }
        const QString text = cp1252::toUnicode(all);
        QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
        QCOMPARE(cp1252::fromUnicode(text), all);
    }

    // Section "LCD", key "Slave"; "-" stands for not found.
    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        row("other case, CRLF", "[lcd]\r\nSLAVE=3\r\n", "3");
        row("blanks, LF, no final line end", "  [ LCD ] \n\t Slave  =  7 \t", "7");
        row("first key wins", "[LCD]\nSlave=1\nslave=2\n", "1");
        row("section twice, key in second", "[LCD]\nx=1\n[A]\nSlave=9\n[Lcd]\nSlave=2\n", "2");
        row("present but empty", "[LCD]\nSlave=\n", "");
        row("in another section", "[A]\nSlave=1\n[LCD]\n", "-");
        row("commented out, no =", "[LCD]\n;Slave=1\nSlave\n", "-");
        row("UTF-8 mark first", "\xEF\xBB\xBF[LCD]\r\nSlave=1\r\n", "1");
        QByteArray noise;
        for (int i = 0; i < 2000; ++i) {
            noise.append(static_cast<char>((i * 37 + 11) % 256));
        }
        row("binary garbage", noise + "\n[LCD]\r\n" + noise + "\nSlave=4\n" + noise, "4");
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        QCOMPARE(inifile::read(file, "LCD", "Slave").value_or("-"), expected);
    }

    // Section "LCD", key "Slave", value "5".
    void write_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        row("new file", "", "[LCD]\r\nSlave=5\r\n");
        row("in place, spelling kept, rest untouched", "; hi\n[lcd]\n  SLAVE = 0 \nM=1\n\n[A]\n",
            "; hi\n[lcd]\nSLAVE=5\nM=1\n\n[A]\n");
        row("after the section's last key", "[LCD]\r\nM=1\r\n\r\n[A]\r\nx=2\r\n",
            "[LCD]\r\nM=1\r\nSlave=5\r\n\r\n[A]\r\nx=2\r\n");
        row("section without keys", "[LCD]\r\n; note\r\n", "[LCD]\r\nSlave=5\r\n; note\r\n");
        row("after a last line without line end", "[LCD]\nM=1", "[LCD]\nM=1\nSlave=5\n");
        row("new section at the end, LF", "[A]\nx=1\n", "[A]\nx=1\n[LCD]\nSlave=5\n");
        row("one line without line end", "[A]", "[A]\r\n[LCD]\r\nSlave=5\r\n");
        row("mixed: rewritten line keeps its own", "[LCD]\r\nSlave=1\nM=2\r\n",
            "[LCD]\r\nSlave=5\nM=2\r\n");
        row("UTF-8 mark kept, LF", "\xEF\xBB\xBF[A]\n", "\xEF\xBB\xBF[A]\n[LCD]\nSlave=5\n");
        // Another program's text at the top, ended its own way: the file's lines decide.
        row("note in LF above CRLF settings", "; notes\n[A]\r\nx=1\r\n",
            "; notes\n[A]\r\nx=1\r\n[LCD]\r\nSlave=5\r\n");
        row("as many LF as CRLF: the first line's", "[A]\nx=1\r\n", "[A]\nx=1\r\n[LCD]\nSlave=5\n");
    }
    void write() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        QCOMPARE(inifile::write(file, "LCD", "Slave", "5").value_or("-"), expected);
    }

    // Text typed by the user must not plant entries of its own in the file.
    void lineBreaksCannotAddEntries_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("CR, LF in value") << QByteArray("A") << QByteArray("UDT1")
                                         << QByteArray("hi\r\n[LCD]\r\nModule=2004\rx\ny");
        QTest::newRow("line break, = in key")
            << QByteArray("LCD") << QByteArray("x=1\nModule") << QByteArray("2004");
        QTest::newRow("key posing as header")
            << QByteArray("A") << QByteArray("[LCD]Module") << QByteArray("2004");
        QTest::newRow("header behind a form feed")
            << QByteArray("A") << QByteArray("[\f[LCD]") << QByteArray("x");
        QTest::newRow("comment behind a vertical tab")
            << QByteArray("A") << QByteArray(";\v;UDT1") << QByteArray("x");
        QTest::newRow("] and line break in section")
            << QByteArray("A]\r\n[LCD") << QByteArray("Module") << QByteArray("2004");
    }
    void lineBreaksCannotAddEntries() {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const QByteArray before("[LCD]\r\nModule=1602\r\n[A]\r\nUDT1=a\r\n");
        const QByteArray after = inifile::write(before, section, key, value).value_or("");
        QVERIFY(after.count('\n') <= before.count('\n') + 2);
        QCOMPARE(inifile::read(after, "LCD", "Module").value_or("-"), QByteArray("1602"));
        // Found again under the very names it was written with.
        QCOMPARE(inifile::read(after, section, key).value_or("-"),
                 inifile::cleanValue(value).trimmed());
        QVERIFY(!inifile::write(before, "]", key, value));
        QVERIFY(!inifile::write(before, section, "[=", value));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
