#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "frmConfig1602.h"
#include "windowtest.h"

Q_DECLARE_METATYPE(Choices1602)

namespace {

const QString Section = QStringLiteral("Cfg1602");

void typeInto(QComboBox* list, const QString& text) {
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
}

QString stored(const char* key) {
    return ReadINI(Section, QLatin1String(key));
}

}  // namespace

class TestWindow1602 : public QObject {
    Q_OBJECT
  private slots:
    void firstOpeningSendsFirstItems() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->show();
        QCoreApplication::processEvents();
        QVERIFY(shownMessages().isEmpty());
        QCOMPARE(w->windowTitle(), QStringLiteral("Configure Korvo-216/Korvo-216S"));
        QCOMPARE(w->cboaddr->count(), 247);
        QCOMPARE(w->cboSpage2->itemText(6), QStringLiteral("Message 6"));
        QCOMPARE(w->cboSP1->itemText(13), QStringLiteral("13"));

        QTest::mouseClick(w->cmdConfig, Qt::LeftButton);
        const QByteArray first = bench.pty.readExactly(110);
        QCOMPARE(first.size(), 110);
        QCOMPARE(first.left(96), QByteArray(96, ' '));
        QCOMPARE(first.mid(96).toHex(' '), QByteArray("24 c0 01 00 00 00 00 00 00 01 01 e7 19 00"));

        w->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110), first);
        QVERIFY(bench.pty.readAll(100).isEmpty());
        closeWindow(w);
    }

    void sendsWhatTheWindowShows() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->cboaddr->setCurrentIndex(36);
        w->cbobaud->setCurrentIndex(2);
        w->cboDF->setCurrentIndex(2);
        QTest::keyClicks(w->txtMessage[1], QStringLiteral("Hello "));
        w->txtMessage[1]->insert(QStringLiteral("€"));
        w->cmdConfig->click();
        const QByteArray sent = bench.pty.readExactly(110);
        const auto expected = buildImage1602(w->choices());
        QVERIFY(expected);
        QCOMPARE(sent.toHex(), bytesOf(*expected).toHex());
        QCOMPARE(sent.mid(16, 16), QByteArray("Hello \x80") + QByteArray(9, ' '));
        QCOMPARE(bytesOf(w->CfgData1602), sent);
        QCOMPARE(w->MsgBytes, sent.left(96));

        // Closed right after the send: every byte still reaches the line.
        w->cmdConfig->click();
        closeWindow(w);
        QCOMPARE(bench.pty.readExactly(110).toHex(), sent.toHex());
    }

    void listWithoutSelectionSendsNothing() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->show();
        typeInto(w->cbobaud, QStringLiteral("4800"));
        QCOMPARE(w->cbobaud->currentIndex(), -1);
        QCOMPARE(w->cbobaud->currentText(), QStringLiteral("4800"));
        w->cmdConfig->click();
        QCOMPARE(shownMessages(), QStringList{"Choose an item in the list \"Baud Rate\"."});
        QVERIFY(bench.pty.readAll(100).isEmpty());

        typeInto(w->cbobaud, QStringLiteral("19200"));  // typing an item's text selects it
        QCOMPARE(w->cbobaud->currentIndex(), 1);
        w->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110).at(96), char(18));
        closeWindow(w);
    }

    void portThatCannotBeOpened() {
        Bench bench;
        bench.ini.write("[Ports]\n7=/dev/tessaline-no-such-port\n[Cfg1602]\nSaddr=9\n");
        PortNumber = QStringLiteral("7");
        auto* w = new frmConfig1602;
        w->show();
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w->cboaddr->currentText(), QStringLiteral("9"));

        w->cmdConfig->click();
        QCOMPARE(shownMessages().size(), 2);
        QCOMPARE(shownMessages().last(), QStringLiteral("COMM PORT ERROR!"));

        // Once the port is there, the next press opens it and sends.
        Bench::mapPort(7, bench.pty.slavePath());
        w->cmdConfig->click();
        QCOMPARE(shownMessages().size(), 2);
        QCOMPARE(bench.pty.readExactly(110).at(98), char(9));
        w->cboaddr->setCurrentIndex(20);
        closeWindow(w);
        QCOMPARE(stored("Saddr"), QStringLiteral("21"));
    }

    void portErrorBox() {
        Bench bench;
        configui::showMessage = &configui::showMessageBox;
        PortNumber = QStringLiteral("0");
        QString title;
        QString text;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        });
        poll.start(20);
        auto* w = new frmConfig1602;
        w->show();
        QTRY_COMPARE(text, QStringLiteral("COMM PORT ERROR!"));
        QCOMPARE(title, QStringLiteral("Tessaline"));
        closeWindow(w);
    }

    void roundTrip() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->cboaddr->setCurrentIndex(11);
        w->cbobaud->setCurrentIndex(2);
        w->cboDF->setCurrentIndex(2);
        w->cboW1->setCurrentIndex(1);
        w->cboW2->setCurrentIndex(4);
        w->cboDP1->setCurrentIndex(4);
        typeInto(w->cboDP2, QStringLiteral("x"));
        w->cboSP1->setCurrentIndex(13);
        typeInto(w->cboSP2, QStringLiteral("99"));
        w->cboSpage1->setCurrentIndex(0);
        w->cboSpage2->setCurrentIndex(6);
        w->txtMessage[0]->setText(QStringLiteral("lead, trail"));
        w->txtMessage[5]->setText(QStringLiteral("0123456789ABCDEF"));
        const Choices1602 before = w->choices();
        closeWindow(w);

        QCOMPARE(stored("Saddr"), QStringLiteral("12"));
        QCOMPARE(stored("Cset"), QStringLiteral("38400,e,8,1"));
        QCOMPARE(stored("Dwidth1"), QStringLiteral("2"));
        QCOMPARE(stored("Dwidth2"), QStringLiteral("5"));
        QCOMPARE(stored("DP1"), QStringLiteral("4"));
        QCOMPARE(stored("DP2"), QStringLiteral("-1"));
        QCOMPARE(stored("SP1"), QStringLiteral("13"));
        QCOMPARE(stored("SP2"), QStringLiteral("-1"));
        QCOMPARE(stored("Start1"), QStringLiteral("0"));
        QCOMPARE(stored("Start2"), QStringLiteral("6"));
        QCOMPARE(stored("UDT1"), QStringLiteral("lead, trail"));
        QCOMPARE(stored("UDT2"), QString());
        QVERIFY(bench.ini.read().contains("Cset="));

        auto* again = new frmConfig1602;
        const Choices1602 after = again->choices();
        QCOMPARE(after.messages, before.messages);
        QCOMPARE(after.address, 11);
        QCOMPARE(after.width, (std::array<int, 2>{1, 4}));
        QCOMPARE(after.decimalPoint, (std::array<int, 2>{4, -1}));
        QCOMPARE(after.location, (std::array<int, 2>{13, -1}));
        QCOMPARE(after.startLine, (std::array<int, 2>{0, 6}));
        QCOMPARE(after.baud, 2);
        QCOMPARE(after.dataFormat, 2);
        // A list without a selection shows no text either.
        QCOMPARE(again->cboDP2->currentText(), QString());
        typeInto(again->cboW1, QStringLiteral("7"));
        typeInto(again->cboaddr, QStringLiteral("300"));
        closeWindow(again);
        QCOMPARE(stored("Dwidth1"), QStringLiteral("0"));
        QCOMPARE(stored("Saddr"), QStringLiteral("0"));
        auto* third = new frmConfig1602;
        QCOMPARE(third->cboW1->currentIndex(), -1);
        QCOMPARE(third->cboaddr->currentIndex(), -1);
        closeWindow(third);
    }

    void baudAndFormatKept_data() {
        QTest::addColumn<QString>("baud");  // chosen, or typed when not an item
        QTest::addColumn<int>("format");    // -1: typed over
        QTest::addColumn<QString>("cset");
        QTest::addColumn<int>("baudBack");
        QTest::addColumn<int>("formatBack");
        QTest::newRow("19200 alone") << "19200" << -1 << "19200" << 1 << -1;
        QTest::newRow("38400 alone") << "38400" << -1 << "38400" << 2 << -1;
        QTest::newRow("9600 alone") << "9600" << -1 << "9600" << -1 << -1;
        QTest::newRow("19200 8E1") << "19200" << 2 << "19200,e,8,1" << 1 << 2;
        QTest::newRow("38400 8N2") << "38400" << 1 << "38400,n,8,2" << 2 << 1;
        QTest::newRow("typed 115200") << "115200" << 0 << "115200,n,8,1" << -1 << 0;
        QTest::newRow("typed 4800 8N2") << "4800" << 1 << "4800,n,8,2" << -1 << 1;
    }
    void baudAndFormatKept() {
        QFETCH(QString, baud);
        QFETCH(int, format);
        QFETCH(QString, cset);
        QFETCH(int, baudBack);
        QFETCH(int, formatBack);
        Bench bench;
        auto* w = new frmConfig1602;
        typeInto(w->cbobaud, baud);
        if (format < 0) {
            typeInto(w->cboDF, QStringLiteral("?"));
        } else {
            w->cboDF->setCurrentIndex(format);
        }
        closeWindow(w);
        QCOMPARE(stored("CSet"), cset);
        auto* again = new frmConfig1602;
        QCOMPARE(again->cbobaud->currentIndex(), baudBack);
        QCOMPARE(again->cboDF->currentIndex(), formatBack);
        closeWindow(again);
    }

    void storedValues_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<Choices1602>("expected");
        Choices1602 first;  // what a missing section restores

        QTest::newRow("missing file") << QByteArray() << first;

        Choices1602 lower = first;
        lower.address = 4;
        lower.baud = 1;
        lower.dataFormat = 2;
        lower.width = {2, 4};
        lower.decimalPoint = {1, 3};
        lower.location = {7, 13};
        lower.startLine = {1, 6};
        lower.messages[2] = QStringLiteral("0123456789abcdef");
        QTest::newRow("hand-written, lower-case keys")
            << QByteArray(
                   "[cfg1602]\r\nsaddr=5\r\ncset=19200,e,8,1\r\ndwidth1=3\r\n"
                   "DWIDTH2=5\r\ndp1=1\r\ndp2=3\r\nsp1=7\r\nsp2=13\r\nstart1=1\r\n"
                   "start2=6\r\nudt3=0123456789abcdefGHIJ\r\n")
            << lower;

        Choices1602 odd = first;
        odd.decimalPoint = {2, 2};  // 2.5 and 1.5 round to the even 2
        odd.address = 2;            // 3.5 - 1 = 2.5 -> 2
        odd.location = {0, 0};      // "abc" and "14" give the first item
        odd.startLine = {-1, 0};    // -1 is no selection; "7" is past the list
        odd.width = {-1, 0};        // 0 (position + 1) is no selection; "" the first item
        odd.baud = -1;              // a value matching nothing
        odd.dataFormat = -1;
        QTest::newRow("odd values")
            << QByteArray(
                   "[Cfg1602]\nSaddr=3.5\nCSet=9600\nDwidth1=0\nDwidth2=\nDP1=2.5\n"
                   "DP2=1.5\nSP1=abc\nSP2=14\nStart1=-1\nStart2=7\n")
            << odd;
    }
    void storedValues() {
        QFETCH(QByteArray, ini);
        QFETCH(Choices1602, expected);
        Bench bench;
        bench.ini.write(ini);
        Bench::mapPort(1, bench.pty.slavePath());
        auto* w = new frmConfig1602;
        const Choices1602 c = w->choices();
        QCOMPARE(c.messages, expected.messages);
        QCOMPARE(c.address, expected.address);
        QCOMPARE(c.baud, expected.baud);
        QCOMPARE(c.dataFormat, expected.dataFormat);
        QCOMPARE(c.width, expected.width);
        QCOMPARE(c.decimalPoint, expected.decimalPoint);
        QCOMPARE(c.location, expected.location);
        QCOMPARE(c.startLine, expected.startLine);
        closeWindow(w);
    }

    void focusOrder() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_COMPARE(QApplication::focusWidget(), w->cboDF);
        QList<QWidget*> seen;
        for (int i = 0; i < 17; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        const QList<QWidget*> expected{w->cbobaud,       w->cboaddr,       w->txtMessage[5],
                                       w->txtMessage[4], w->txtMessage[3], w->txtMessage[2],
                                       w->txtMessage[1], w->txtMessage[0], w->cboSP2,
                                       w->cboSP1,        w->cboDP2,        w->cboW2,
                                       w->cboDP1,        w->cboW1,         w->cboSpage2,
                                       w->cboSpage1,     w->cmdConfig};
        QCOMPARE(seen, expected);
        closeWindow(w);
    }
};

QTEST_MAIN(TestWindow1602)
#include "test_window1602.moc"
