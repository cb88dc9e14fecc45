// SPDX-License-Identifier: MIT
// Connecting, the module address lists and the four commands over a pseudo-terminal
// mapped as port 3, with the test answering as the display module.

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/modVar.h"
#include "tests/app/slave.h"

using namespace testsupport;

namespace {

// The window state as one line: caption, port open, then fComm, fCom5, fCom6, fCom16,
// fCom4 and mnuCfg enabled.
QString stateOf(frmMain& w) {
    QString s = w.cmdConnect->text() + (w.MSComm1.PortOpen() ? " open " : " closed ");
    for (const QWidget* f : {w.fComm, w.fCom5, w.fCom6, w.fCom16, w.fCom4}) {
        s += f->isEnabled() ? '1' : '0';
    }
    return s + (w.mnuCfg->isEnabled() ? '1' : '0');
}
const QString disconnected = QStringLiteral("Connect closed 100000");
const QString connected420 = QStringLiteral("Disconnect open 011111");
const QString connected216 = QStringLiteral("Disconnect open 011101");

// Each register label as "" (empty), "ok" or "grey": grey is a value shown greyed, with a
// tooltip that says it came from a reply that failed its CRC check.
QString trustOf(frmMain& w) {
    QStringList out;
    const QColor greyed = w.fCom4->palette().color(QPalette::Disabled, QPalette::WindowText);
    for (const QLabel* label : w.lblReg3x) {
        const bool grey = label->palette().color(QPalette::Active, QPalette::WindowText) == greyed;
        const bool marked =
            label->toolTip() == QLatin1String("from a reply that failed its CRC check");
        out << (label->text().isEmpty() ? QString()
                : grey && marked        ? QStringLiteral("grey")
                : !grey && !marked      ? QStringLiteral("ok")
                                        : QStringLiteral("inconsistent"));
    }
    return out.join(u'|');
}

QPushButton* sendButton(frmMain& w, int function) {
    return function == 4   ? w.cmdSend04
           : function == 5 ? w.cmdSend05
           : function == 6 ? w.cmdSend06
                           : w.cmdSend16;
}

}  // namespace

class TestMainLink : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        recordMessages();
        line_ = std::make_unique<PtyPair>();
        ini_ = std::make_unique<IniFolder>();
        prepareIni(*ini_, *line_, "2004");
        slave_ = std::make_unique<ScriptedSlave>(*line_);
    }
    void cleanup() {
        closeAllWindows();
        slave_.reset();
        ini_.reset();
        line_.reset();
    }

    void connectSettings_data() {
        QTest::addColumn<QString>("baud");  // option chosen, or none
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("state");
        QTest::newRow("19200 8E1 port 4") << "opt19200" << 2 << 3 << "19200,e,8,1" << connected420;
        QTest::newRow("no baud rate") << "" << 0 << 2 << ",n,8,1" << disconnected;
        QTest::newRow("no data format") << "opt9600" << -1 << 2 << "9600" << disconnected;
        QTest::newRow("no port") << "opt9600" << 0 << -1 << "9600,n,8,1" << disconnected;
        QTest::newRow("no such device") << "opt9600" << 0 << 19 << "9600,n,8,1" << disconnected;
    }
    void connectSettings() {
        QFETCH(QString, baud);
        QFETCH(int, format);
        QFETCH(int, port);
        QFETCH(QString, settings);
        QFETCH(QString, state);
        PtyPair port4;
        ini_->write("[Ports]\r\n4=" + port4.slavePath().toLocal8Bit() +
                    "\r\n20=/dev/tessaline-none\r\n");
        frmMain w;
        w.optBaud->setExclusive(false);
        w.opt9600->setChecked(baud == "opt9600");
        w.opt19200->setChecked(baud == "opt19200");
        w.cboDF->setCurrentIndex(format);
        w.cboComm->setCurrentIndex(port);
        w.cmdConnect->click();

        QCOMPARE(stateOf(w), state);
        QCOMPARE(shownMessages().isEmpty(), state == connected420);
        QCOMPARE(w.connected(), state == connected420);
        const frmMain::LineChoice chosen = w.lineChoice();
        QCOMPARE(chosen.baud, baud.isEmpty() ? 0 : baud.mid(3).toInt());
        QCOMPARE(chosen.formatIndex, format);
        QCOMPARE(chosen.portNumber, port + 1);
        QCOMPARE(PortSettings, settings);
        QCOMPARE(PortNumber, QString::number(port + 1));
        // What the last press used is what the next run starts from.
        w.close();
        QVERIFY(ini_->read().contains("CommPort=" + PortNumber.toLatin1() +
                                      "\r\nSetting=" + settings.toLatin1()));
    }

    // Without any setting of its own, only the port map that reaches the line, the window
    // connects as it opens and a read comes back good.
    void firstStartConnects() {
        ini_->write("[Ports]\r\n1=" + line_->slavePath().toLocal8Bit() + "\r\n");
        frmMain w;
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connected420);
        QVERIFY(shownMessages().isEmpty());
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w.cmdSend04->click();
        QCOMPARE(slave_->takeReceived(), fromHex("01 04 00 00 00 01 31 CA"));
        QCOMPARE(w.lblRxData->text(), QStringLiteral("01 04 02 00 0A 39 37 "));
    }

    void connectDisconnectAndLists() {
        frmMain w;
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connected420);
        QCOMPARE(w.cboAddr04->count(), 3);
        QCOMPARE(w.cboAddr05->itemText(8), QStringLiteral("0x0008"));
        QCOMPARE(w.cboData05->itemText(1), QStringLiteral("0xFF00"));
        QCOMPARE(w.cboAddr06->count(), 57);
        QCOMPARE(w.cboAddr16->count(), 50);
        QCOMPARE(w.cboAddr16->itemText(39), QStringLiteral("0x0027"));
        QCOMPARE(w.cboAddr16->itemText(41), QStringLiteral("0x0032"));
        QCOMPARE(w.cboAddr16->itemText(49), QStringLiteral("0x0082"));
        w.cboAddr06->setCurrentIndex(9);

        w.cmdConnect->click();
        QCOMPARE(stateOf(w), disconnected);
        w.cboModule->setCurrentIndex(0);
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), connected216);
        QCOMPARE(w.cboAddr04->count(), 0);
        QCOMPARE(w.cboAddr05->count(), 2);
        QCOMPARE(w.cboAddr06->itemText(24), QStringLiteral("0x0018"));
        QCOMPARE(w.cboAddr16->count(), 16);
        for (QComboBox* list : {w.cboAddr05, w.cboData05, w.cboAddr06, w.cboAddr16}) {
            QCOMPARE(list->currentText(), QStringLiteral("0x0000"));
        }
        QVERIFY(shownMessages().isEmpty());
    }

    void typedModuleOrBusyPort() {
        MSComm other{settings::portDevice};
        other.CommPort(3);
        other.PortOpen(true);
        frmMain w;
        w.cmdConnect->click();
        QCOMPARE(stateOf(w), disconnected);
        other.PortOpen(false);

        w.cboModule->lineEdit()->selectAll();
        QTest::keyClicks(w.cboModule->lineEdit(), QStringLiteral("Korvo-999"));
        w.cmdConnect->click();
        QCOMPARE(shownMessages(), (QStringList{"COMM PORT ERROR!", "COMM PORT ERROR!"}));
        QCOMPARE(stateOf(w), QStringLiteral("Disconnect open 011101"));
        QCOMPARE(w.cboAddr05->count() + w.cboData05->count() + w.cboAddr16->count(), 0);
    }

    void configureMenu_data() {
        QTest::addColumn<QByteArray>("module");
        QTest::addColumn<QString>("window");
        QTest::newRow("Korvo-216") << QByteArray("1602") << "frmConfig1602";
        QTest::newRow("Korvo-420") << QByteArray("2004") << "frmConfig2004";
    }
    void configureMenu() {
        QFETCH(QByteArray, module);
        QFETCH(QString, window);
        prepareIni(*ini_, *line_, module);
        frmMain w;
        w.cmdConnect->click();
        w.mnuCfg->trigger();
        QCOMPARE(stateOf(w), disconnected);
        QStringList shown;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible()) {
                shown << QString::fromLatin1(top->metaObject()->className());
                top->close();
            }
        }
        QCOMPARE(shown, QStringList{window});
        // Closed, the configuration window gives the port back.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w.cmdConnect->click();
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));
    }

    void requestBytes_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("slave");     // position
        QTest::addColumn<int>("address");   // position
        QTest::addColumn<QString>("data");  // coil text, "high low" positions, or message
        QTest::addColumn<QByteArray>("expected");
        // The name starts with the function number.
        const auto row = [](const char* name, int s, int a, const QString& d, const QByteArray& e) {
            QTest::newRow(name) << std::atoi(name) << s << a << d << e;
        };
        row("04", 0, 0, "", fromHex("01 04 00 00 00 01 31 CA"));
        // No slave chosen is no broadcast: nothing goes out (an empty expectation).
        for (const char* name : {"04 no slave", "05 no slave", "06 no slave", "16 no slave"}) {
            row(name, -1, 2, "0xFF00", {});
        }
        row("05 on", 0, 0, "0xFF00", fromHex("01 05 00 00 FF 00 8C 3A"));
        row("05 any case selects on", 254, 8, "0xff00", withCrc(fromHex("FF 05 00 08 FF 00")));
        row("05 no item is off", 0, 1, "0xFF0", withCrc(fromHex("01 05 00 01 00 00")));
        row("06", 0, 56, "18 52", withCrc(fromHex("01 06 00 38 12 34")));
        row("16 odd padded", 0, 40, "Hi!", withCrc(fromHex("01 10 00 28 00 02 04") + "Hi! "));
        row("16 start 49", 0, 49, "AB", withCrc(fromHex("01 10 00 82 00 01 02 41 42")));
        row("16 code page", 0, 0, QStringLiteral("\u00e9\u20ac\u03a9"),
            withCrc(fromHex("01 10 00 00 00 02 04 E9 80 3F 20")));
    }
    void requestBytes() {
        QFETCH(int, function);
        QFETCH(int, slave);
        QFETCH(int, address);
        QFETCH(QString, data);
        QFETCH(QByteArray, expected);
        const auto w = connectedWindow();
        w->cboSlaveID->setCurrentIndex(slave);
        w->cboAddr04->setCurrentIndex(address);
        w->cboAddr05->setCurrentIndex(address);
        w->cboData05->setEditText(data);
        w->cboAddr06->setCurrentIndex(address);
        w->cboDataH06->setCurrentIndex(data.section(' ', 0, 0).toInt());
        w->cboDataL06->setCurrentIndex(data.section(' ', 1, 1).toInt());
        w->cboAddr16->setCurrentIndex(address);
        w->txtMessage->setText(data);
        sendButton(*w, function)->click();

        if (expected.isEmpty()) {
            QTest::qWait(30);
        }
        QCOMPARE(slave_->takeReceived(), expected);
        QCOMPARE(w->lblTxData->text(), spaced(expected));
        QCOMPARE(w->lblRxData->text(), expected.isEmpty()
                                           ? QStringLiteral("Select a Slave ID before sending")
                                           : QStringLiteral("No Response from LCD"));
    }

    void outcomes_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("rx");
        QTest::addColumn<QString>("registers");  // the three labels, joined by "|"
        QTest::addColumn<int>("left");           // bytes left waiting
        QTest::addColumn<QString>("trust");      // trustOf the three labels
        const auto row = [](const char* name, int f, int a, const QByteArray& reply,
                            const QString& rx, const char* registers, int left,
                            const char* trust = "||") {
            QTest::newRow(name) << f << a << reply << rx << registers << left << trust;
        };
        const QByteArray good = fromHex("01 04 02 00 0A 39 37");
        row("04 30001 low byte in hex", 4, 0, good, spaced(good), "A||", 0, "ok||");
        row("04 30002 decimal", 4, 1, good, spaced(good), "|10|", 0, "|ok|");
        row("04 30003 unsigned", 4, 2, withCrc(fromHex("01 04 02 80 01")), "01 04 02 80 01 19 30 ",
            "||32769", 0, "||ok");
        row("no reply", 4, 0, {}, "No Response from LCD", "||", 0);
        row("exception stays waiting", 4, 0, withCrc(fromHex("01 84 02")), "Incomplete Frame", "||",
            5);
        row("04 CRC error still decoded", 4, 1, fromHex("01 04 02 01 00 39 38"), "CRC Err", "|256|",
            0, "|grey|");
        row("extra bytes dropped", 4, 0, good + "\xff\xfe", spaced(good), "A||", 0, "ok||");
        const QByteArray acknowledged = withCrc(fromHex("01 10 00 00 00 01"));
        row("16 acknowledged", 16, 0, acknowledged, spaced(acknowledged), "||", 0);
    }
    void outcomes() {
        QFETCH(int, function);
        QFETCH(int, address);
        QFETCH(QByteArray, reply);
        QFETCH(QString, rx);
        QFETCH(QString, registers);
        QFETCH(int, left);
        QFETCH(QString, trust);
        const auto w = connectedWindow();
        w->cboAddr04->setCurrentIndex(address);
        w->txtMessage->setText(QStringLiteral("Hi"));
        slave_->answer(reply);
        sendButton(*w, function)->click();

        QCOMPARE(w->lblRxData->text(), rx);
        QVERIFY(!w->lblTxData->text().isEmpty());
        QCOMPARE(
            w->lblReg3x[0]->text() + '|' + w->lblReg3x[1]->text() + '|' + w->lblReg3x[2]->text(),
            registers);
        QCOMPARE(trustOf(*w), trust);
        QCOMPARE(w->MSComm1.InBufferCount(), left);
        QCOMPARE(TickCount, function == 6 ? 10 : function == 16 ? 5 : 3);
        QVERIFY(!w->Timer1->isActive());
    }

    // Bytes left by one exchange, or a reply that came late, stand in front of the next;
    // the exchange that reads them says how many there were, and a value it decodes from a
    // failed check stays greyed until a good read replaces it.
    void leftoversAndLateReplies() {
        const auto w = connectedWindow();
        const auto readBehind = [](int n) {
            return QStringLiteral(
                       "Read behind %1 bytes that were waiting before the request "
                       "went out")
                .arg(n);
        };
        slave_->answer(withCrc(fromHex("01 84 02")));
        w->cmdSend04->click();
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), QStringLiteral("CRC Err"));
        QCOMPARE(w->lblRxData->toolTip(), readBehind(5));
        QCOMPARE(trustOf(*w), QStringLiteral("grey||"));
        QCOMPARE(w->MSComm1.InBufferCount(), 0);

        // A reply after the wait, written once the exchange has ended so that a loaded
        // machine stretching the wait cannot make it come in time.
        w->cboAddr04->setCurrentIndex(1);
        slave_->answer({});
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), QStringLiteral("No Response from LCD"));
        QCOMPARE(w->lblRxData->toolTip(), QString());
        line_->write(withCrc(fromHex("01 04 02 00 07")));
        QTRY_COMPARE(w->MSComm1.InBufferCount(), 7);
        slave_->answer(withCrc(fromHex("01 04 02 00 09")));
        w->cmdSend04->click();
        QCOMPARE(w->lblReg3x[1]->text(), QStringLiteral("7"));
        QCOMPARE(w->lblRxData->text(), spaced(withCrc(fromHex("01 04 02 00 07"))));
        QCOMPARE(w->lblRxData->toolTip(), readBehind(7));
        QCOMPARE(trustOf(*w), QStringLiteral("grey|ok|"));

        // A good read at the greyed place, behind nothing, is trusted again.
        w->cboAddr04->setCurrentIndex(0);
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->toolTip(), QString());
        QCOMPARE(trustOf(*w), QStringLiteral("ok|ok|"));
    }

    // A list without a selection, or a message of nothing (a write of no registers, which
    // no module accepts), sends nothing and says what to fix.
    void refusedSendsNothing_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<QString>("says");
        QTest::newRow("typed Data Lo") << 6 << "Select a Data Lo value before sending";
        QTest::newRow("empty message") << 16 << "Type a message before sending";
    }
    void refusedSendsNothing() {
        QFETCH(int, function);
        QFETCH(QString, says);
        const auto w = connectedWindow();
        w->cboDataL06->lineEdit()->selectAll();
        QTest::keyClicks(w->cboDataL06->lineEdit(), QStringLiteral("0x1G"));
        w->txtMessage->clear();
        sendButton(*w, function)->click();
        QCOMPARE(w->lblRxData->text(), says);
        QCOMPARE(w->lblTxData->text(), QString());
        QTest::qWait(30);
        QCOMPARE(slave_->takeReceived(), QByteArray());
    }

    // Nothing that could start a second exchange or close the port is usable in a wait.
    void inputDuringTheWait() {
        const auto w = connectedWindow();
        const std::array<QWidget*, 5> guarded{w->cmdSend04, w->cmdSend05, w->cmdSend06,
                                              w->cmdSend16, w->cmdConnect};
        int usable = -1;
        QTimer::singleShot(20, w.get(), [&] {
            usable = w->mnuCfg->isEnabled() ? 1 : 0;
            for (QWidget* b : guarded) {
                usable += b->isEnabled() ? 1 : 0;
            }
            w->cmdSend05_Click();  // a click that reaches a handler anyway is ignored
            w->cmdConnect_Click();
        });
        slave_->answer(withCrc(fromHex("01 06 00 00 00 00")), 30);
        w->cmdSend06->click();
        QCOMPARE(usable, 0);
        QCOMPARE(slave_->takeReceived(), withCrc(fromHex("01 06 00 00 00 00")));
        QCOMPARE(w->lblRxData->text(), spaced(withCrc(fromHex("01 06 00 00 00 00"))));
        for (QWidget* b : guarded) {
            QVERIFY(b->isEnabled());
        }
        QCOMPARE(stateOf(*w), connected420);
    }

    // A closed window lets go of its port, at once or when the wait it was closed in is
    // over (that reply is still read, the settings saved), and says nothing more, even when
    // the line fails in that wait.
    void closingReleasesThePort_data() {
        QTest::addColumn<bool>("inAWait");
        QTest::addColumn<bool>("lineFails");
        QTest::newRow("while idle") << false << false;
        QTest::newRow("in a wait") << true << false;
        QTest::newRow("in a wait, then the line fails") << true << true;
    }
    void closingReleasesThePort() {
        QFETCH(bool, inAWait);
        QFETCH(bool, lineFails);
        const auto w = connectedWindow();
        const auto closeWindow = [&] {
            w->cboSlaveID->setCurrentIndex(41);
            w->close();
            if (lineFails) {
                slave_.reset();
                line_.reset();
            }
        };
        const QByteArray echo = withCrc(fromHex("01 06 00 00 00 00"));
        if (inAWait) {
            QTimer::singleShot(20, w.get(), closeWindow);
            slave_->answer(echo, 30);
            w->cmdSend06->click();
        } else {
            closeWindow();
        }
        QCOMPARE(w->lblRxData->text(), inAWait && !lineFails ? spaced(echo) : QString());
        QVERIFY(ini_->read().contains("Slave=42"));
        QCOMPARE(stateOf(*w), disconnected);
        QTest::qWait(50);
        QVERIFY(shownMessages().isEmpty());
        if (!lineFails) {
            MSComm other{settings::portDevice};
            other.CommPort(3);
            QVERIFY_THROWS_NO_EXCEPTION(other.PortOpen(true));
        }
    }

    // Space or Enter on a Send button reached with Tab sends; after the wait the focus is
    // back on the button, so the key again repeats the request instead of typing into a list.
    void keyboardRepeatsASend_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("key");
        for (const char* f : {"4", "5", "6", "16"}) {
            QTest::addRow("%s Space", f) << std::atoi(f) << int(Qt::Key_Space);
            QTest::addRow("%s Enter", f) << std::atoi(f) << int(Qt::Key_Return);
        }
        QTest::newRow("16 keypad Enter") << 16 << int(Qt::Key_Enter);
    }
    void keyboardRepeatsASend() {
        QFETCH(int, function);
        QFETCH(int, key);
        const auto w = connectedWindow();
        w->txtMessage->setText(QStringLiteral("Hi"));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QPushButton* send = sendButton(*w, function);
        w->cboSlaveID->setFocus();
        for (int i = 0; i < 40 && w->focusWidget() != send; ++i) {
            QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(w->focusWidget(), send);
        const auto modifier = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(w->focusWidget(), Qt::Key(key), modifier);
        QCOMPARE(w->focusWidget(), send);
        QTest::keyClick(w->focusWidget(), Qt::Key(key), modifier);
        const QByteArray sent = slave_->takeReceived();
        const QByteArray once = sent.left(sent.size() / 2);
        QCOMPARE(sent, once + once);
        QCOMPARE(once.left(2), QByteArray("\x01") + char(function));  // slave 1, as selected
    }

    // Alt and the first letter of a menu's caption opens it; Configure LCD acts at once.
    void menuMnemonics_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("opens");  // a menu's or a window's object name
        QTest::newRow("Alt+C") << int(Qt::Key_C) << "frmConfig2004";
        QTest::newRow("Alt+V") << int(Qt::Key_V) << "mnuView";
        QTest::newRow("Alt+T") << int(Qt::Key_T) << "mnuTools";
    }
    void menuMnemonics() {
        QFETCH(int, key);
        QFETCH(QString, opens);
        const auto w = connectedWindow();
        const QStringList captions{w->menuBar()->actions()[0]->text(),
                                   w->menuBar()->actions()[1]->text(),
                                   w->menuBar()->actions()[2]->text()};
        QCOMPARE(captions, (QStringList{"Configure LCD", "View", "Tools"}));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key(key), Qt::AltModifier);
        const auto shown = [&] {
            QStringList names;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->isVisible() && top != w.get()) {
                    names << top->objectName() + top->metaObject()->className();
                }
            }
            return names.join(u',');
        };
        QTRY_VERIFY2(shown().contains(opens), qPrintable(shown()));
    }

    // The message box holds 20 characters, each one byte on the line, and never half of one.
    void messageOfWholeCharacters() {
        const auto w = connectedWindow();
        const QString smile = QStringLiteral("\U0001F600");
        QTest::keyClicks(w->txtMessage, QString(19, u'a'));
        QTest::sendKeyEvent(QTest::Click, w->txtMessage, Qt::Key_unknown, smile, Qt::NoModifier);
        QTest::keyClick(w->txtMessage, Qt::Key_B);  // full: refused
        QCOMPARE(w->txtMessage->text(), QString(19, u'a') + smile);
        w->cmdSend16->click();
        QCOMPARE(slave_->takeReceived(),
                 withCrc(fromHex("01 10 00 00 00 0A 14") + QByteArray(19, 'a') + '?'));
    }

    void unplugged_data() {
        QTest::addColumn<bool>("duringWait");
        QTest::newRow("while idle") << false;
        QTest::newRow("during a wait") << true;
    }
    void unplugged() {
        QFETCH(bool, duringWait);
        const auto w = connectedWindow();
        QList<bool> told;
        connect(w.get(), &frmMain::connectedChanged, this, [&told](bool on) { told << on; });
        const auto unplug = [this] {
            slave_.reset();
            line_.reset();
        };
        if (duringWait) {
            QTimer::singleShot(20, w.get(), unplug);
            w->cmdSend06->click();
        } else {
            unplug();
        }
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(stateOf(*w), disconnected);
        QVERIFY(!w->connected());
        QCOMPARE(told, QList<bool>{false});
        QVERIFY(w->cmdConnect->isEnabled());

        // Back again: connecting works as before.
        line_ = std::make_unique<PtyPair>();
        prepareIni(*ini_, *line_, "2004");
        slave_ = std::make_unique<ScriptedSlave>(*line_);
        w->cmdConnect->click();
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), QStringLiteral("01 04 02 00 0A 39 37 "));
        QCOMPARE(shownMessages().size(), 1);
    }

  private:
    std::unique_ptr<PtyPair> line_;
    std::unique_ptr<IniFolder> ini_;
    std::unique_ptr<ScriptedSlave> slave_;
};

QTEST_MAIN(TestMainLink)
#include "test_mainlink.moc"
