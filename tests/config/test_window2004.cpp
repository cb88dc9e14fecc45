#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "frmConfig2004.h"
#include "windowtest.h"

namespace {

const QString Section = QStringLiteral("Cfg2004");

void typeInto(QComboBox* list, const QString& text) {
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
}

QString stored(const QString& key) {
    return ReadINI(Section, key);
}

}  // namespace

class TestWindow2004 : public QObject {
    Q_OBJECT
  private slots:
    void firstOpeningSendsFirstItems() {
        Bench bench;
        auto* w = new frmConfig2004;
        w->show();
        QCoreApplication::processEvents();
        QVERIFY(shownMessages().isEmpty());
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure Korvo-420"));
        QCOMPARE(w->cbosmsg[3]->count(), 21);
        QCOMPARE(w->cbosmsg[3]->itemText(20), QStringLiteral("Message20"));
        QCOMPARE(w->cboLoc[0]->itemText(18), QStringLiteral("18"));
        QCOMPARE(w->cboIO[7]->itemText(1), QStringLiteral("OUT"));

        QTest::mouseClick(w->cmdSend, Qt::LeftButton);
        const QByteArray first = bench.pty.readExactly(23);
        QCOMPARE(
            first.toHex(' '),
            QByteArray("01 ff ff 00 00 00 00 00 01 01 01 01 00 00 00 00 00 00 00 00 03 fd 00"));
        w->cmdSend->click();
        QCOMPARE(bench.pty.readExactly(23), first);
        QVERIFY(bench.pty.readAll(100).isEmpty());
        closeWindow(w);
    }

    void sendsWhatTheWindowShows() {
        Bench bench;
        auto* w = new frmConfig2004;
        // The second worked example.
        w->cboaddr->setCurrentIndex(4);
        w->cbobaud->setCurrentIndex(1);
        w->cboDF->setCurrentIndex(1);
        w->cboIO[0]->setCurrentIndex(1);
        w->cboIO[7]->setCurrentIndex(1);
        const std::array<int, 4> msg{1, 2, 0, 20}, width{4, 2, 0, 0}, dp{2, 0, 0, 1},
            loc{0, 10, 18, 3};
        for (std::size_t i = 0; i < 4; ++i) {
            w->cbosmsg[i]->setCurrentIndex(msg[i]);
            w->cboWidth1[i]->setCurrentIndex(width[i]);
            w->cboDP[i]->setCurrentIndex(dp[i]);
            w->cboLoc[i]->setCurrentIndex(loc[i]);
        }
        w->cmdSend->click();
        const QByteArray sent = bench.pty.readExactly(23);
        QCOMPARE(
            sent.toHex(' '),
            QByteArray("05 19 0e 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0a 12 03 f0 10 00"));
        QCOMPARE(bytesOf(CfgData2004).left(22), sent.left(22));

        // A typed baud rate is sent as 255, like "9600"; it does not stop the send.
        typeInto(w->cbobaud, QStringLiteral("115200"));
        w->cmdSend->click();
        // Closed right after the send: every byte still reaches the line.
        closeWindow(w);
        const QByteArray typed = bench.pty.readExactly(23);
        QCOMPARE(typed.size(), 23);
        QCOMPARE(quint8(typed.at(1)), quint8(0xFF));
        QVERIFY(shownMessages().isEmpty());
    }

    void listWithoutSelectionSendsNothing() {
        Bench bench;
        auto* w = new frmConfig2004;
        typeInto(w->cboLoc[2], QStringLiteral("25"));
        w->cmdSend->click();
        QCOMPARE(shownMessages(),
                 QStringList{"Choose an item in the list \"Location of Field 3 ( Line 2 )\"."});
        QVERIFY(bench.pty.readAll(100).isEmpty());
        closeWindow(w);
    }

    void portThatCannotBeOpened() {
        Bench bench;
        bench.ini.write("[Cfg2004]\nIODIR=2\n");
        PortNumber = QStringLiteral("3");
        Bench::mapPort(3, QStringLiteral("/dev/tessaline-no-such-port"));
        auto* w = new frmConfig2004;
        w->show();
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w->cboIO[1]->currentText(), QStringLiteral("OUT"));
        w->cmdSend->click();
        QCOMPARE(shownMessages().size(), 2);
        Bench::mapPort(3, bench.pty.slavePath());
        w->cmdSend->click();
        QCOMPARE(bench.pty.readExactly(23).at(3), char(2));
        w->cboIO[2]->setCurrentIndex(1);
        closeWindow(w);
        QCOMPARE(stored(QStringLiteral("IODIR")), QStringLiteral("6"));
    }

    void roundTrip() {
        Bench bench;
        auto* w = new frmConfig2004;
        w->cboaddr->setCurrentIndex(11);
        w->cbobaud->setCurrentIndex(2);
        w->cboDF->setCurrentIndex(2);
        w->cboWidth1[1]->setCurrentIndex(4);
        typeInto(w->cboWidth1[2], QStringLiteral("x"));
        w->cboDP[0]->setCurrentIndex(5);
        typeInto(w->cboDP[3], QStringLiteral("x"));
        w->cboLoc[3]->setCurrentIndex(18);
        typeInto(w->cboLoc[0], QStringLiteral("x"));
        w->cbosmsg[2]->setCurrentIndex(20);
        typeInto(w->cbosmsg[1], QStringLiteral("x"));
        w->cboIO[2]->setCurrentIndex(1);
        const Choices2004 before = w->choices();
        closeWindow(w);

        const QList<std::pair<const char*, const char*>> expected{
            {"Saddr", "12"},  {"Cset", "38400,e,8,1"}, {"Dwidth1", "1"}, {"Dwidth2", "5"},
            {"Dwidth3", "0"}, {"Dwidth4", "1"},        {"DP1", "5"},     {"DP2", "0"},
            {"DP3", "0"},     {"DP4", "-1"},           {"SP1", "-1"},    {"SP2", "0"},
            {"SP3", "0"},     {"SP4", "18"},           {"Start1", "0"},  {"Start2", "-1"},
            {"Start3", "20"}, {"Start4", "0"},         {"IODIR", "4"}};
        for (const auto& [key, value] : expected) {
            QCOMPARE(stored(QLatin1String(key)), QLatin1String(value));
        }
        QVERIFY(bench.ini.read().contains("Cset="));

        auto* again = new frmConfig2004;
        const Choices2004 after = again->choices();
        QCOMPARE(after.address, before.address);
        QCOMPARE(after.baud, 2);
        QCOMPARE(after.dataFormat, 2);
        QCOMPARE(after.io, before.io);
        QCOMPARE(after.width, (std::array<int, 4>{0, 4, -1, 0}));
        QCOMPARE(after.decimalPoint, (std::array<int, 4>{5, 0, 0, -1}));
        QCOMPARE(after.location, (std::array<int, 4>{-1, 0, 0, 18}));
        QCOMPARE(after.startLine, (std::array<int, 4>{0, -1, 20, 0}));
        closeWindow(again);
    }

    void baudAndFormatKept_data() {
        QTest::addColumn<QString>("baud");  // chosen, or typed when not an item
        QTest::addColumn<int>("format");    // -1: typed over
        QTest::addColumn<QString>("cset");
        QTest::addColumn<int>("baudBack");
        QTest::addColumn<int>("formatBack");
        QTest::newRow("19200 alone") << "19200" << -1 << "19200" << 1 << -1;
        QTest::newRow("9600 alone") << "9600" << -1 << "9600" << -1 << -1;
        QTest::newRow("38400 8E1") << "38400" << 2 << "38400,e,8,1" << 2 << 2;
        QTest::newRow("typed 115200 8N1") << "115200" << 0 << "115200,n,8,1" << -1 << 0;
    }
    void baudAndFormatKept() {
        QFETCH(QString, baud);
        QFETCH(int, format);
        QFETCH(QString, cset);
        QFETCH(int, baudBack);
        QFETCH(int, formatBack);
        Bench bench;
        auto* w = new frmConfig2004;
        typeInto(w->cbobaud, baud);
        if (format < 0) {
            typeInto(w->cboDF, QStringLiteral("?"));
        } else {
            w->cboDF->setCurrentIndex(format);
        }
        closeWindow(w);
        QCOMPARE(stored(QStringLiteral("CSet")), cset);
        auto* again = new frmConfig2004;
        QCOMPARE(again->cbobaud->currentIndex(), baudBack);
        QCOMPARE(again->cboDF->currentIndex(), formatBack);
        closeWindow(again);
    }

    void ioDirections_data() {
        QTest::addColumn<QString>("iodir");
        QTest::addColumn<QString>("pins");  // shown in cboIO(0..7)
        QTest::addColumn<QString>("saved");
        QTest::newRow("129") << "129"
                             << "OUT IN IN IN IN IN IN OUT"
                             << "129";
        QTest::newRow("255") << "255"
                             << "OUT OUT OUT OUT OUT OUT OUT OUT"
                             << "255";
        QTest::newRow("missing") << ""
                                 << "IN IN IN IN IN IN IN IN"
                                 << "0";
        QTest::newRow("not a byte") << "256"
                                    << "IN IN IN IN IN IN IN IN"
                                    << "0";
        QTest::newRow("4.5 rounds to 4") << "4.5"
                                         << "IN IN OUT IN IN IN IN IN"
                                         << "4";
    }
    void ioDirections() {
        QFETCH(QString, iodir);
        QFETCH(QString, pins);
        QFETCH(QString, saved);
        Bench bench;
        WriteINI(Section, QStringLiteral("IODIR"), iodir);
        auto* w = new frmConfig2004;
        QStringList shown;
        for (QComboBox* io : w->cboIO) {
            shown << io->currentText();
        }
        QCOMPARE(shown.join(' '), pins);
        closeWindow(w);
        QCOMPARE(stored(QStringLiteral("IODIR")), saved);
    }

    void handWrittenFile() {
        Bench bench;
        bench.ini.write(
            "[cfg2004]\nsaddr=247\ncset=19200,n,8,2\ndwidth4=5\ndp2=5\nsp3=18\nstart4=20\n"
            "iodir=128\n[Ports]\n1=" +
            bench.pty.slavePath().toLocal8Bit() + "\n");
        auto* w = new frmConfig2004;
        w->cmdSend->click();
        QCOMPARE(bench.pty.readExactly(23).left(20).toHex(' '),
                 QByteArray("f7 19 0e 80 00 00 00 14 01 01 01 05 00 05 00 00 00 00 12 00"));
        closeWindow(w);
    }

    void focusOrder() {
        Bench bench;
        auto* w = new frmConfig2004;
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_COMPARE(QApplication::focusWidget(), w->cboaddr);
        QList<QWidget*> expected{w->cbobaud, w->cboDF};
        for (const auto* column : {&w->cboWidth1, &w->cboDP, &w->cboLoc, &w->cbosmsg}) {
            expected.append(QList<QWidget*>(column->begin(), column->end()));
        }
        expected.append(QList<QWidget*>(w->cboIO.begin(), w->cboIO.end()));
        expected.append(w->cmdSend);
        QList<QWidget*> seen;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        QCOMPARE(seen, expected);
        closeWindow(w);
    }
};

QTEST_MAIN(TestWindow2004)
#include "test_window2004.moc"
