// The main window against korvo-sim, the virtual display module, as a user would test a
// real one: one connection, the four commands, healthy and with the module's faults.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "simprocess.h"
#include "slave.h"

class TestKorvoSim : public QObject {
    Q_OBJECT
  private slots:
    void init() { recordMessages(); }

    void allCommands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("rx");  // lblRxData after 04, 05, 06 and 16
        QTest::addColumn<QString>("register30002");
        const QString none = QStringLiteral("No Response from LCD");
        const QString crc = QStringLiteral("CRC Err");
        const QString incomplete = QStringLiteral("Incomplete Frame");
        QTest::newRow("healthy") << QStringList{}
                                 << QStringList{"01 04 02 00 14 B9 3F ", "01 05 00 00 FF 00 8C 3A ",
                                                "01 06 00 00 12 34 84 BD ",
                                                "01 10 00 00 00 02 41 C8 "}
                                 << "20";
        QTest::newRow("silent") << QStringList{"--no-reply"} << QStringList{none, none, none, none}
                                << "";
        QTest::newRow("corrupt CRC")
            << QStringList{"--corrupt-crc"} << QStringList{crc, crc, crc, crc} << "20";
        // A short reply stays waiting, so the reply after it fails its CRC check and
        // empties the buffer.
        QTest::newRow("exceptions") << QStringList{"--exception", "4"}
                                    << QStringList{incomplete, crc, incomplete, crc} << "";
        QTest::newRow("cut short") << QStringList{"--truncate", "4"}
                                   << QStringList{incomplete, crc, incomplete, crc} << "";
    }
    void allCommands() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, rx);
        QFETCH(QString, register30002);

        SimProcess sim;
        const QString path =
            sim.start(QStringList{"--model", "420", "--input-registers", "10,20,30"} + args);
        IniFolder ini;
        ini.write(
            "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n["
            "Ports]\r\n3=" +
            path.toLocal8Bit() + "\r\n");
        const auto w = connectedWindow();
        w->cboAddr04->setCurrentIndex(1);
        w->cboData05->setCurrentIndex(1);
        w->cboDataH06->setCurrentIndex(0x12);
        w->cboDataL06->setCurrentIndex(0x34);
        w->txtMessage->setText(QStringLiteral("HEY"));
        QStringList seen;
        for (QPushButton* send : {w->cmdSend04, w->cmdSend05, w->cmdSend06, w->cmdSend16}) {
            send->click();
            seen << w->lblRxData->text();
        }
        QCOMPARE(seen, rx);
        QCOMPARE(w->lblReg3x[1]->text(), register30002);
        QVERIFY(shownMessages().isEmpty());
        w->cmdConnect->click();
        QCOMPARE(sim.stop(), 0);
    }
};

QTEST_MAIN(TestKorvoSim)
#include "test_korvosim.moc"
