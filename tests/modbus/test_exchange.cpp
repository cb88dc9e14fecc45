// The four commands over a pseudo-terminal, with the test answering as the module.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "modVar.h"
#include "slave.h"

namespace {

QString spaced(const QByteArray& bytes) {
    QString text;
    for (const char b : bytes) {
        text += QStringLiteral("%1 ")
                    .arg(static_cast<std::uint8_t>(b), 2, 16, QLatin1Char('0'))
                    .toUpper();
    }
    return text;
}

QPushButton* sendButton(frmMain& w, int function) {
    switch (function) {
        case 4:
            return w.cmdSend04;
        case 5:
            return w.cmdSend05;
        case 6:
            return w.cmdSend06;
        default:
            return w.cmdSend16;
    }
}

}  // namespace

class TestExchange : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        recordMessages();
        line_ = std::make_unique<PtyPair>();
        ini_ = std::make_unique<IniFolder>();
        prepareIni(*ini_, *line_, "2004");
        slave_ = std::make_unique<ScriptedSlave>(*line_);
        w_ = connectedWindow();
        QVERIFY(w_->MSComm1.PortOpen());
    }
    void cleanup() {
        w_.reset();
        slave_.reset();
        ini_.reset();
        line_.reset();
    }

    void requestBytes_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("slavePos");
        QTest::addColumn<int>("addrPos");
        QTest::addColumn<QString>("data");  // coil text, "hi lo" positions, or message
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("04 slave 1 register 0")
            << 4 << 0 << 0 << "" << fromHex("01 04 00 00 00 01 31 CA");
        QTest::newRow("04 slave 255 register 2")
            << 4 << 254 << 2 << "" << withCrc(fromHex("FF 04 00 02 00 01"));
        QTest::newRow("04 no slave selected is broadcast")
            << 4 << -1 << 1 << "" << withCrc(fromHex("00 04 00 01 00 01"));
        QTest::newRow("05 on") << 5 << 0 << 0 << "0xFF00" << fromHex("01 05 00 00 FF 00 8C 3A");
        QTest::newRow("05 lower-case text is off")
            << 5 << 0 << 8 << "0xff00" << withCrc(fromHex("01 05 00 08 00 00"));
        QTest::newRow("05 other text is off")
            << 5 << 0 << 1 << "on" << withCrc(fromHex("01 05 00 01 00 00"));
        QTest::newRow("06 value 12 34")
            << 6 << 0 << 0 << "18 52" << withCrc(fromHex("01 06 00 00 12 34"));
        QTest::newRow("06 last register FF 00")
            << 6 << 1 << 56 << "255 0" << withCrc(fromHex("02 06 00 38 FF 00"));
        QTest::newRow("16 ABCD") << 16 << 0 << 0 << "ABCD"
                                 << fromHex("01 10 00 00 00 02 04 41 42 43 44 76 84");
        QTest::newRow("16 empty") << 16 << 0 << 0 << "" << withCrc(fromHex("01 10 00 00 00 00 00"));
        QTest::newRow("16 twenty characters")
            << 16 << 0 << 0 << "abcdefghijklmnopqrst"
            << withCrc(fromHex("01 10 00 00 00 0A 14") + "abcdefghijklmnopqrst");
        QTest::newRow("16 odd length padded")
            << 16 << 0 << 0 << "Hi!" << withCrc(fromHex("01 10 00 00 00 02 04") + "Hi! ");
        QTest::newRow("16 start position 39")
            << 16 << 0 << 39 << "AB" << withCrc(fromHex("01 10 00 27 00 01 02 41 42"));
        QTest::newRow("16 start position 40")
            << 16 << 0 << 40 << "AB" << withCrc(fromHex("01 10 00 28 00 01 02 41 42"));
        QTest::newRow("16 start position 41")
            << 16 << 0 << 41 << "AB" << withCrc(fromHex("01 10 00 32 00 01 02 41 42"));
        QTest::newRow("16 start position 49")
            << 16 << 0 << 49 << "AB" << withCrc(fromHex("01 10 00 82 00 01 02 41 42"));
        QTest::newRow("16 Windows-1252 and unmappable characters")
            << 16 << 0 << 0 << QStringLiteral("\u00e9\u20ac\u03a9")
            << withCrc(fromHex("01 10 00 00 00 02 04 E9 80 3F 20"));
    }
    void requestBytes() {
        QFETCH(int, function);
        QFETCH(int, slavePos);
        QFETCH(int, addrPos);
        QFETCH(QString, data);
        QFETCH(QByteArray, expected);

        frmMain& w = *w_;
        w.cboSlaveID->setCurrentIndex(slavePos);
        if (function == 4) {
            w.cboAddr04->setCurrentIndex(addrPos);
        } else if (function == 5) {
            w.cboAddr05->setCurrentIndex(addrPos);
            w.cboData05->setEditText(data);
        } else if (function == 6) {
            w.cboAddr06->setCurrentIndex(addrPos);
            w.cboDataH06->setCurrentIndex(data.section(' ', 0, 0).toInt());
            w.cboDataL06->setCurrentIndex(data.section(' ', 1, 1).toInt());
        } else {
            w.cboAddr16->setCurrentIndex(addrPos);
            w.txtMessage->setText(data);
        }
        sendButton(w, function)->click();

        QCOMPARE(slave_->takeReceived(), expected);
        QCOMPARE(w.lblTxData->text(), spaced(expected));
        QCOMPARE(w.lblRxData->text(), QStringLiteral("No Response from LCD"));
    }

    void outcomes_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("addrPos");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("rxText");
        QTest::addColumn<QStringList>("registers");
        QTest::addColumn<int>("leftWaiting");

        const QByteArray good04 = fromHex("01 04 02 00 0A 39 37");
        QTest::newRow("04 good, 30001 shows the low byte in hex")
            << 4 << 0 << good04 << spaced(good04) << QStringList{"A", "", ""} << 0;
        QTest::newRow("04 good, 30002 in decimal")
            << 4 << 1 << good04 << spaced(good04) << QStringList{"", "10", ""} << 0;
        const QByteArray high = withCrc(fromHex("01 04 02 80 01"));
        QTest::newRow("04 30003 above 0x7FFF is unsigned")
            << 4 << 2 << high << spaced(high) << QStringList{"", "", "32769"} << 0;
        const QByteArray highByte = withCrc(fromHex("01 04 02 12 FE"));
        QTest::newRow("04 30001 ignores the high byte")
            << 4 << 0 << highByte << spaced(highByte) << QStringList{"FE", "", ""} << 0;
        QTest::newRow("no reply") << 4 << 0 << QByteArray() << "No Response from LCD"
                                  << QStringList{"", "", ""} << 0;
        QTest::newRow("exception reply stays waiting")
            << 4 << 0 << withCrc(fromHex("01 84 02")) << "Incomplete Frame"
            << QStringList{"", "", ""} << 5;
        QTest::newRow("04 CRC error still decoded") << 4 << 1 << fromHex("01 04 02 01 00 39 38")
                                                    << "CRC Err" << QStringList{"", "256", ""} << 0;
        QTest::newRow("extra bytes dropped") << 4 << 0 << good04 + fromHex("FF FE FD")
                                             << spaced(good04) << QStringList{"A", "", ""} << 0;
        const QByteArray echo05 = fromHex("01 05 00 00 00 00 CD CA");
        QTest::newRow("05 echo") << 5 << 0 << echo05 << spaced(echo05) << QStringList{"", "", ""}
                                 << 0;
        QTest::newRow("05 seven bytes are incomplete")
            << 5 << 0 << echo05.left(7) << "Incomplete Frame" << QStringList{"", "", ""} << 7;
        const QByteArray echo06 = withCrc(fromHex("01 06 00 00 00 00"));
        QTest::newRow("06 echo") << 6 << 0 << echo06 << spaced(echo06) << QStringList{"", "", ""}
                                 << 0;
        QTest::newRow("06 reply swapped CRC")
            << 6 << 0 << echo06.left(6) + echo06.right(1) + echo06.mid(6, 1) << "CRC Err"
            << QStringList{"", "", ""} << 0;
        const QByteArray ack16 = withCrc(fromHex("01 10 00 00 00 00"));
        QTest::newRow("16 acknowledged")
            << 16 << 0 << ack16 << spaced(ack16) << QStringList{"", "", ""} << 0;
    }
    void outcomes() {
        QFETCH(int, function);
        QFETCH(int, addrPos);
        QFETCH(QByteArray, reply);
        QFETCH(QString, rxText);
        QFETCH(QStringList, registers);
        QFETCH(int, leftWaiting);

        frmMain& w = *w_;
        w.cboAddr04->setCurrentIndex(addrPos);
        slave_->answer(reply);
        sendButton(w, function)->click();

        QCOMPARE(w.lblRxData->text(), rxText);
        QVERIFY(!w.lblTxData->text().isEmpty());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(w.lblReg3x[static_cast<std::size_t>(i)]->text(), registers[i]);
        }
        QCOMPARE(w.MSComm1.InBufferCount(), leftWaiting);
        const int ticks = function == 6 ? 10 : function == 16 ? 5 : 3;
        QCOMPARE(TickCount, ticks);
        QVERIFY(!w.Timer1->isActive());
    }

    // Bytes left from one exchange stand in front of the next reply.
    void leftoversReachTheNextExchange() {
        frmMain& w = *w_;
        slave_->answer(withCrc(fromHex("01 84 02")));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("Incomplete Frame"));

        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("CRC Err"));
        QCOMPARE(w.MSComm1.InBufferCount(), 0);

        // The read emptied the buffer: the next exchange starts clean.
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("01 04 02 00 0A 39 37 "));
    }

    void lateReplyIsShownByTheNextExchange() {
        frmMain& w = *w_;
        w.cboAddr04->setCurrentIndex(1);
        const QByteArray late = withCrc(fromHex("01 04 02 00 07"));
        slave_->answer(late, 200);
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("No Response from LCD"));
        QTRY_COMPARE(w.MSComm1.InBufferCount(), 7);

        slave_->answer(withCrc(fromHex("01 04 02 00 09")));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), spaced(late));
        QCOMPARE(w.lblReg3x[1]->text(), QStringLiteral("7"));
    }

    void newExchangeClearsTheMonitor() {
        frmMain& w = *w_;
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text().size(), 21);

        QString rxSeenDuringWait = QStringLiteral("unset");
        QTimer::singleShot(10, &w, [&] { rxSeenDuringWait = w.lblRxData->text(); });
        w.cmdSend05->click();
        QCOMPARE(rxSeenDuringWait, QString());
        QCOMPARE(w.lblRxData->text(), QStringLiteral("No Response from LCD"));
        QCOMPARE(w.lblTxData->text(), QStringLiteral("01 05 00 00 00 00 CD CA "));
    }

    void listWithoutSelectionSendsNothing_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("expected");
        QTest::newRow("04") << 4 << "cboAddr04"
                            << "Select a Register Address before sending";
        QTest::newRow("05") << 5 << "cboAddr05"
                            << "Select a Register Address before sending";
        QTest::newRow("06 address") << 6 << "cboAddr06"
                                    << "Select a Register Address before sending";
        QTest::newRow("06 high byte") << 6 << "cboDataH06"
                                      << "Select a Data Hi value before sending";
        QTest::newRow("06 low byte") << 6 << "cboDataL06"
                                     << "Select a Data Lo value before sending";
        QTest::newRow("16") << 16 << "cboAddr16"
                            << "Select a Start Register Address before sending";
    }
    void listWithoutSelectionSendsNothing() {
        QFETCH(int, function);
        QFETCH(QString, list);
        QFETCH(QString, expected);
        frmMain& w = *w_;
        auto* box = w.findChild<QComboBox*>(list);
        QVERIFY(box != nullptr);
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("0xZZ"));
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box->currentText(), QStringLiteral("0xZZ"));

        sendButton(w, function)->click();
        QCOMPARE(w.lblRxData->text(), expected);
        QCOMPARE(w.lblTxData->text(), QString());
        QTest::qWait(30);
        QCOMPARE(slave_->takeReceived(), QByteArray());
    }

    // Nothing that could start a second exchange or close the port is usable during a wait,
    // and everything comes back afterwards.
    void controlsDisabledDuringTheWait() {
        frmMain& w = *w_;
        const std::array<QWidget*, 5> guarded{w.cmdSend04, w.cmdSend05, w.cmdSend06, w.cmdSend16,
                                              w.cmdConnect};
        int enabledDuringWait = -1;
        bool menuDuringWait = true;
        QTimer::singleShot(20, &w, [&] {
            enabledDuringWait = 0;
            for (QWidget* b : guarded) {
                enabledDuringWait += b->isEnabled() ? 1 : 0;
            }
            menuDuringWait = w.mnuCfg->isEnabled();
            // A click that reaches a handler anyway is ignored.
            w.cmdSend05_Click();
            w.cmdConnect_Click();
        });
        w.cmdSend06->click();
        QCOMPARE(enabledDuringWait, 0);
        QVERIFY(!menuDuringWait);
        QCOMPARE(slave_->takeReceived(), withCrc(fromHex("01 06 00 00 00 00")));
        for (QWidget* b : guarded) {
            QVERIFY(b->isEnabled());
        }
        QVERIFY(w.mnuCfg->isEnabled());
        QVERIFY(w.MSComm1.PortOpen());
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));
    }

    void closingDuringTheWaitSavesAndFinishes() {
        frmMain& w = *w_;
        w.cboSlaveID->setCurrentIndex(41);
        slave_->answer(withCrc(fromHex("2A 10 00 00 00 01")), 30);
        QTimer::singleShot(10, &w, [&] { w.close(); });
        w.txtMessage->setText(QStringLiteral("Hi"));
        w.cmdSend16->click();
        QVERIFY(!w.isVisible());
        QVERIFY(ini_->read().contains("Slave=42"));
        QCOMPARE(w.lblRxData->text(), spaced(withCrc(fromHex("2A 10 00 00 00 01"))));
        QVERIFY(shownMessages().isEmpty());
    }

    void unpluggedWhileConnected() {
        frmMain& w = *w_;
        slave_.reset();
        line_.reset();  // the adapter goes away
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
        QVERIFY(w.fComm->isEnabled());
        QVERIFY(!w.fCom5->isEnabled());
        QVERIFY(!w.mnuCfg->isEnabled());

        // Back again: connecting works as before.
        line_ = std::make_unique<PtyPair>();
        prepareIni(*ini_, *line_, "2004");
        slave_ = std::make_unique<ScriptedSlave>(*line_);
        w.cmdConnect->click();
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));
        slave_->answer(fromHex("01 04 02 00 0A 39 37"));
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), QStringLiteral("01 04 02 00 0A 39 37 "));
        QCOMPARE(shownMessages().size(), 1);
    }

    void unpluggedDuringTheWait() {
        frmMain& w = *w_;
        QTimer::singleShot(20, &w, [&] {
            slave_.reset();
            line_.reset();
        });
        w.cmdSend06->click();
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
        QVERIFY(w.cmdConnect->isEnabled());
        QVERIFY(!w.MSComm1.PortOpen());
        QVERIFY(!w.exchangeRunning());
    }

  private:
    std::unique_ptr<PtyPair> line_;
    std::unique_ptr<IniFolder> ini_;
    std::unique_ptr<ScriptedSlave> slave_;
    std::unique_ptr<frmMain> w_;
};

QTEST_MAIN(TestExchange)
#include "test_exchange.moc"
