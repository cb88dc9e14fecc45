// The connect button, the two window states, the module address lists and the menu's
// return to Disconnected, over a pseudo-terminal mapped as port 3 (and 4).

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "modVar.h"
#include "slave.h"

namespace {

QStringList items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->itemText(i);
    }
    return out;
}

QStringList hexRange(int from, int to) {
    QStringList out;
    for (int v = from; v <= to; ++v) {
        out << QStringLiteral("0x%1")
                   .arg(v, 4, 16, QLatin1Char('0'))
                   .toUpper()
                   .replace(QLatin1String("0X"), QLatin1String("0x"));
    }
    return out;
}

// Which controls are usable, in the order of the state table.
struct State {
    QString caption;
    bool port, fComm, fCom5, fCom6, fCom16, fCom4, mnuCfg;
};

State stateOf(frmMain& w) {
    return {w.cmdConnect->text(), w.MSComm1.PortOpen(), w.fComm->isEnabled(),
            w.fCom5->isEnabled(), w.fCom6->isEnabled(), w.fCom16->isEnabled(),
            w.fCom4->isEnabled(), w.mnuCfg->isEnabled()};
}

bool operator==(const State& a, const State& b) {
    return a.caption == b.caption && a.port == b.port && a.fComm == b.fComm && a.fCom5 == b.fCom5 &&
           a.fCom6 == b.fCom6 && a.fCom16 == b.fCom16 && a.fCom4 == b.fCom4 && a.mnuCfg == b.mnuCfg;
}

const State disconnected{QStringLiteral("Connect"), false, true, false, false, false, false, false};
const State connected420{QStringLiteral("Disconnect"), true, false, true, true, true, true, true};
const State connected216{QStringLiteral("Disconnect"), true, false, true, true, true, false, true};

}  // namespace

namespace QTest {
template <>
char* toString(const State& s) {
    return qstrdup(QStringLiteral("%1 port=%2 fComm=%3 fCom5/6/16=%4%5%6 fCom4=%7 mnuCfg=%8")
                       .arg(s.caption)
                       .arg(s.port)
                       .arg(s.fComm)
                       .arg(s.fCom5)
                       .arg(s.fCom6)
                       .arg(s.fCom16)
                       .arg(s.fCom4)
                       .arg(s.mnuCfg)
                       .toUtf8()
                       .constData());
}
}  // namespace QTest

class TestConnect : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        recordMessages();
        line_ = std::make_unique<PtyPair>();
        ini_ = std::make_unique<IniFolder>();
    }
    void cleanup() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            top->close();
        }
        ini_.reset();
        line_.reset();
    }

    void connectAndDisconnect_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<State>("connectedState");
        QTest::newRow("Korvo-216") << QByteArray("1602") << connected216;
        QTest::newRow("Korvo-420") << QByteArray("2004") << connected420;
    }
    void connectAndDisconnect() {
        QFETCH(QByteArray, module);
        QFETCH(State, connectedState);
        prepareIni(*ini_, *line_, module);
        frmMain w;
        QCOMPARE(stateOf(w), disconnected);

        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connectedState);
        QCOMPARE(w.MSComm1.CommPort(), 3);
        QCOMPARE(w.MSComm1.Settings(), QStringLiteral("9600,n,8,1"));

        w.cmdConnect->click();
        QCOMPARE(stateOf(w), disconnected);
        QVERIFY(shownMessages().isEmpty());
        // The lists stay filled while disconnected, only their frames are off.
        QVERIFY(w.cboAddr05->count() > 0);
    }

    void settingsString_data() {
        QTest::addColumn<QString>("baud");  // object name of the option, or "" for none
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("portNumber");
        QTest::addColumn<QString>("portSettings");
        QTest::addColumn<bool>("opens");

        QTest::newRow("19200 8E1 port 4") << "opt19200" << 2 << 3 << "4"
                                          << "19200,e,8,1" << true;
        QTest::newRow("38400 8N2 port 3") << "opt38400" << 1 << 2 << "3"
                                          << "38400,n,8,2" << true;
        QTest::newRow("no baud rate") << "" << 0 << 2 << "3"
                                      << ",n,8,1" << false;
        QTest::newRow("no data format") << "opt9600" << -1 << 2 << "3"
                                        << "9600" << false;
        QTest::newRow("no port") << "opt9600" << 0 << -1 << "0"
                                 << "9600,n,8,1" << false;
        QTest::newRow("port with no device") << "opt9600" << 0 << 19 << "20"
                                             << "9600,n,8,1" << false;
    }
    void settingsString() {
        QFETCH(QString, baud);
        QFETCH(int, format);
        QFETCH(int, port);
        QFETCH(QString, portNumber);
        QFETCH(QString, portSettings);
        QFETCH(bool, opens);

        PtyPair second;
        ini_->write("[Ports]\r\n3=" + line_->slavePath().toLocal8Bit() + "\r\n4=" +
                    second.slavePath().toLocal8Bit() + "\r\n20=/dev/tessaline-no-such-port\r\n");
        frmMain w;
        if (!baud.isEmpty()) {
            w.findChild<QRadioButton*>(baud)->setChecked(true);
        }
        w.cboDF->setCurrentIndex(format);
        w.cboComm->setCurrentIndex(port);
        w.cmdConnect->click();

        QCOMPARE(PortNumber, portNumber);
        QCOMPARE(PortSettings, portSettings);
        if (opens) {
            QCOMPARE(stateOf(w), connected420);
            QCOMPARE(w.MSComm1.CommPort(), portNumber.toInt());
            QCOMPARE(w.MSComm1.Settings(), portSettings);
            QVERIFY(shownMessages().isEmpty());
        } else {
            QCOMPARE(stateOf(w), disconnected);
            QCOMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        }
        // What the last press used is what the next run starts from.
        w.close();
        QVERIFY(ini_->read().contains("CommPort=" + portNumber.toLatin1() + "\r\n"));
        QVERIFY(ini_->read().contains("Setting=" + portSettings.toLatin1() + "\r\n"));
    }

    void portInUse() {
        prepareIni(*ini_, *line_, "2004");
        MSComm other;
        other.CommPort(3);
        other.PortOpen(true);
        frmMain w;
        w.cmdConnect->click();
        QCOMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(stateOf(w), disconnected);

        other.PortOpen(false);
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connected420);
    }

    void moduleLists_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QStringList>("addr04");
        QTest::addColumn<QStringList>("addr05");
        QTest::addColumn<QStringList>("addr06");
        QTest::addColumn<QStringList>("addr16");
        QStringList starts420 = hexRange(0, 39);
        starts420 << "0x0028"
                  << "0x0032"
                  << "0x003C"
                  << "0x0046"
                  << "0x0050"
                  << "0x005A"
                  << "0x0064"
                  << "0x006E"
                  << "0x0078"
                  << "0x0082";
        QTest::newRow("Korvo-216") << QByteArray("1602") << QStringList{} << hexRange(0, 1)
                                   << hexRange(0, 24) << hexRange(0, 15);
        QTest::newRow("Korvo-420") << QByteArray("2004") << hexRange(0, 2) << hexRange(0, 8)
                                   << hexRange(0, 56) << starts420;
    }
    void moduleLists() {
        QFETCH(QByteArray, module);
        QFETCH(QStringList, addr04);
        QFETCH(QStringList, addr05);
        QFETCH(QStringList, addr06);
        QFETCH(QStringList, addr16);
        prepareIni(*ini_, *line_, module);
        frmMain w;
        QCOMPARE(w.cboAddr05->count(), 0);  // filled only by a connection
        w.cmdConnect->click();

        QCOMPARE(items(w.cboAddr04), addr04);
        QCOMPARE(items(w.cboAddr05), addr05);
        QCOMPARE(items(w.cboData05), (QStringList{"0x0000", "0xFF00"}));
        QCOMPARE(items(w.cboAddr06), addr06);
        QCOMPARE(items(w.cboAddr16), addr16);
        for (QComboBox* list : {w.cboAddr05, w.cboData05, w.cboAddr06, w.cboAddr16}) {
            QCOMPARE(list->currentIndex(), 0);
            QCOMPARE(list->currentText(), QStringLiteral("0x0000"));
        }
        QCOMPARE(w.cboAddr04->currentIndex(), addr04.isEmpty() ? -1 : 0);
    }

    void reconnectRebuildsTheLists() {
        prepareIni(*ini_, *line_, "2004");
        frmMain w;
        w.cmdConnect->click();
        w.cboAddr06->setCurrentIndex(9);
        w.cmdConnect->click();
        w.cmdConnect->click();
        QCOMPARE(w.cboAddr04->count(), 3);
        QCOMPARE(w.cboAddr06->currentIndex(), 0);

        w.cmdConnect->click();
        w.cboModule->setCurrentIndex(0);
        w.cmdConnect->click();
        QCOMPARE(w.cboAddr04->count(), 0);
        QCOMPARE(stateOf(w), connected216);
    }

    void typedModuleLeavesTheListsEmpty() {
        prepareIni(*ini_, *line_, "2004");
        frmMain w;
        w.cboModule->lineEdit()->selectAll();
        QTest::keyClicks(w.cboModule->lineEdit(), QStringLiteral("Korvo-999"));
        QCOMPARE(w.cboModule->currentIndex(), -1);
        w.cmdConnect->click();

        QCOMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        State stillConnected = connected420;
        stillConnected.fCom4 = false;
        QCOMPARE(stateOf(w), stillConnected);
        for (QComboBox* list : {w.cboData05, w.cboAddr05, w.cboAddr06, w.cboAddr16, w.cboAddr04}) {
            QCOMPARE(list->count(), 0);
        }
        // Sending from an empty list is refused, not sent.
        w.cmdSend05->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("Select a Register Address before sending"));
    }

    void configureMenuDisconnects_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QString>("window");
        QTest::addColumn<State>("connectedState");
        QTest::newRow("Korvo-216") << QByteArray("1602") << "frmConfig1602" << connected216;
        QTest::newRow("Korvo-420") << QByteArray("2004") << "frmConfig2004" << connected420;
    }
    void configureMenuDisconnects() {
        QFETCH(QByteArray, module);
        QFETCH(QString, window);
        QFETCH(State, connectedState);
        prepareIni(*ini_, *line_, module);
        frmMain w;
        w.show();
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connectedState);
        w.mnuCfg->trigger();
        QCOMPARE(stateOf(w), disconnected);
        QCOMPARE(PortNumber, QStringLiteral("3"));
        QStringList shown;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top != &w && top->isVisible()) {
                shown << QString::fromLatin1(top->metaObject()->className());
            }
        }
        QCOMPARE(shown, QStringList{window});

        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top != &w) {
                top->close();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connectedState);
        QVERIFY(shownMessages().isEmpty());
    }

    // The one box the window shows: caption Tessaline, no icon, only OK.
    void messageBoxShape() {
        const std::unique_ptr<QMessageBox> box(frmMain::makeMessageBox(
            nullptr, QString::fromLatin1(frmMain::CommPortError), QMessageBox::NoIcon));
        QCOMPARE(box->windowTitle(), QStringLiteral("Tessaline"));
        QCOMPARE(box->text(), QStringLiteral("COMM PORT ERROR!"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    }

  private:
    std::unique_ptr<PtyPair> line_;
    std::unique_ptr<IniFolder> ini_;
};

QTEST_MAIN(TestConnect)
#include "test_connect.moc"
