#include <QTest>

#include "inifile.h"

namespace {

// A byte string with embedded NULs and high bytes, as a damaged file might hold.
QByteArray garbage() {
    QByteArray g;
    for (int i = 0; i < 600; ++i) {
        g.append(static_cast<char>((i * 37 + 11) % 256));
    }
    return g;
}

}  // namespace

class TestIniFile : public QObject {
    Q_OBJECT
  private slots:
    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("value");

        QTest::newRow("names in another case")
            << QByteArray("[settings]\r\ncommport=3\r\n") << QByteArray("Settings")
            << QByteArray("CommPort") << true << QByteArray("3");
        QTest::newRow("Cset stored, CSet asked")
            << QByteArray("[Cfg1602]\r\nCset=2\r\n") << QByteArray("Cfg1602") << QByteArray("CSet")
            << true << QByteArray("2");
        QTest::newRow("blanks around names and value")
            << QByteArray("  [ LCD ]  \r\n\t Slave  =  7 \t\r\n") << QByteArray("LCD")
            << QByteArray("Slave") << true << QByteArray("7");
        QTest::newRow("LF line ends")
            << QByteArray("[LCD]\nSlave=7\nModule=2004\n") << QByteArray("LCD")
            << QByteArray("Module") << true << QByteArray("2004");
        QTest::newRow("last line without line end")
            << QByteArray("[LCD]\r\nModule=2004") << QByteArray("LCD") << QByteArray("Module")
            << true << QByteArray("2004");
        QTest::newRow("first matching key wins") << QByteArray("[A]\nk=1\nK=2\n") << QByteArray("A")
                                                 << QByteArray("k") << true << QByteArray("1");
        QTest::newRow("section given twice, key in the second")
            << QByteArray("[A]\nx=1\n[B]\nk=9\n[a]\nk=2\n") << QByteArray("A") << QByteArray("k")
            << true << QByteArray("2");
        QTest::newRow("value keeps inner = and ;")
            << QByteArray("[A]\nk=a=b;c\n") << QByteArray("A") << QByteArray("k") << true
            << QByteArray("a=b;c");
        QTest::newRow("present but empty") << QByteArray("[A]\nk=\n") << QByteArray("A")
                                           << QByteArray("k") << true << QByteArray();
        QTest::newRow("key only in another section")
            << QByteArray("[A]\nk=1\n[B]\nx=2\n") << QByteArray("B") << QByteArray("k") << false
            << QByteArray();
        QTest::newRow("key before any section") << QByteArray("k=1\n[A]\n") << QByteArray("A")
                                                << QByteArray("k") << false << QByteArray();
        QTest::newRow("commented out") << QByteArray("[A]\n;k=1\n") << QByteArray("A")
                                       << QByteArray("k") << false << QByteArray();
        QTest::newRow("line without =") << QByteArray("[A]\nk\nk2=5\n") << QByteArray("A")
                                        << QByteArray("k") << false << QByteArray();
        QTest::newRow("empty file")
            << QByteArray() << QByteArray("A") << QByteArray("k") << false << QByteArray();
        QTest::newRow("binary garbage around the entry")
            << garbage() + "\n[A]\r\n" + garbage() + "\nk=1\r\n" + garbage() << QByteArray("A")
            << QByteArray("k") << true << QByteArray("1");
        QTest::newRow("UTF-8 mark before the first header")
            << QByteArray("\xEF\xBB\xBF[A]\r\nk=1\r\n") << QByteArray("A") << QByteArray("k")
            << true << QByteArray("1");
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(bool, found);
        QFETCH(QByteArray, value);
        const auto got = inifile::read(file, section, key);
        QCOMPARE(got.has_value(), found);
        if (found) {
            QCOMPARE(*got, value);
        }
    }

    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << QByteArray() << QByteArray("Cfg1602") << QByteArray("Cset")
                                  << QByteArray("1") << QByteArray("[Cfg1602]\r\nCset=1\r\n");
        QTest::newRow("replaced in place, stored spelling kept, the rest untouched")
            << QByteArray(
                   "; notes\r\n[Cfg1602]\r\nSaddr=1\r\n  CSet = 0 \r\nUDT1=Hi\r\n\r\n"
                   "[LCD]\r\nModule=1602\r\n")
            << QByteArray("cfg1602") << QByteArray("Cset") << QByteArray("3")
            << QByteArray(
                   "; notes\r\n[Cfg1602]\r\nSaddr=1\r\nCSet=3\r\nUDT1=Hi\r\n\r\n"
                   "[LCD]\r\nModule=1602\r\n");
        QTest::newRow("LF file: only the rewritten line gets CRLF")
            << QByteArray("[A]\nx=1\nk=0\ny=2\n") << QByteArray("A") << QByteArray("k")
            << QByteArray("5") << QByteArray("[A]\nx=1\nk=5\r\ny=2\n");
        QTest::newRow("new key after the section's last key, before blank line")
            << QByteArray("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n") << QByteArray("A") << QByteArray("k")
            << QByteArray("5") << QByteArray("[A]\r\nx=1\r\nk=5\r\n\r\n[B]\r\ny=2\r\n");
        QTest::newRow("new key in a section with no keys yet")
            << QByteArray("[A]\r\n; note\r\n[B]\r\n") << QByteArray("A") << QByteArray("k")
            << QByteArray("5") << QByteArray("[A]\r\nk=5\r\n; note\r\n[B]\r\n");
        QTest::newRow("new key after a last line without line end")
            << QByteArray("[A]\nx=1") << QByteArray("A") << QByteArray("k") << QByteArray("5")
            << QByteArray("[A]\nx=1\r\nk=5\r\n");
        QTest::newRow("new section after a last line without line end")
            << QByteArray("[A]\nx=1") << QByteArray("B") << QByteArray("k") << QByteArray("5")
            << QByteArray("[A]\nx=1\r\n[B]\r\nk=5\r\n");
        QTest::newRow("empty value")
            << QByteArray("[A]\r\nk=old\r\n") << QByteArray("A") << QByteArray("k") << QByteArray()
            << QByteArray("[A]\r\nk=\r\n");
    }
    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        const auto got = inifile::write(before, section, key, value);
        QVERIFY(got.has_value());
        QCOMPARE(*got, after);
    }

    // Text typed by the user must not be able to plant entries of its own in the file.
    void lineBreaksCannotAddEntries_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("CRLF in value") << QByteArray("Cfg1602") << QByteArray("UDT1")
                                       << QByteArray("hello\r\n[LCD]\r\nModule=2004\r\nSlave=9");
        QTest::newRow("bare LF and CR in value")
            << QByteArray("LCD") << QByteArray("Slave") << QByteArray("5\nModule=2004\rSlave=9");
        QTest::newRow("line break and = in key")
            << QByteArray("LCD") << QByteArray("x=1\r\nModule") << QByteArray("2004");
        QTest::newRow("key posing as a header")
            << QByteArray("Cfg1602") << QByteArray("[LCD]Module") << QByteArray("2004");
        QTest::newRow("] and line break in section")
            << QByteArray("Cfg1602]\r\n[LCD") << QByteArray("Module") << QByteArray("2004");
    }
    void lineBreaksCannotAddEntries() {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const QByteArray before("[LCD]\r\nSlave=1\r\nModule=1602\r\n[Cfg1602]\r\nUDT1=a\r\n");
        const auto after = inifile::write(before, section, key, value);
        QVERIFY(after.has_value());
        // At most a new header and a new key line.
        QVERIFY(after->count('\n') <= before.count('\n') + 2);
        QCOMPARE(inifile::read(*after, "LCD", "Module").value_or("-"), QByteArray("1602"));
        QCOMPARE(inifile::read(*after, "LCD", "Slave").value_or("-"),
                 section == "LCD" && key == "Slave" ? inifile::cleanValue(value).trimmed()
                                                    : QByteArray("1"));
        // Whatever was written is found again under the very names it was written with.
        QCOMPARE(inifile::read(*after, section, key).value_or("-"),
                 inifile::cleanValue(value).trimmed());
    }

    void emptyNamesAreRefused_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("empty section") << QByteArray() << QByteArray("k");
        QTest::newRow("blank key") << QByteArray("A") << QByteArray(" \t");
        QTest::newRow("section of ] only") << QByteArray("]") << QByteArray("k");
        QTest::newRow("key of [ and = only") << QByteArray("A") << QByteArray("[=");
    }
    void emptyNamesAreRefused() {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QVERIFY(!inifile::write("[A]\r\n=1\r\n", section, key, "v").has_value());
        QVERIFY(!inifile::read("[A]\r\n=1\r\n", section, key).has_value());
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
