// The main window against korvo-sim, the virtual display module, as a user would test a
// real one: one connection, the four commands, and the module's faults.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "simprocess.h"
#include "slave.h"

namespace {

struct Results {
    QString rx04, rx05, rx06, rx16;
};

}  // namespace

class TestKorvoSim : public QObject {
    Q_OBJECT
  private slots:
    void init() { recordMessages(); }

    void allCommands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("rx04");
        QTest::addColumn<QString>("rx05");
        QTest::addColumn<QString>("rx06");
        QTest::addColumn<QString>("rx16");
        QTest::addColumn<QString>("register30002");

        // Replies as a standard slave gives them. An exception reply is short and stays
        // waiting, so the reply after it fails its CRC check and empties the buffer.
        const QString good04 = QStringLiteral("01 04 02 00 14 B9 3F ");
        const QString echo05 = QStringLiteral("01 05 00 00 FF 00 8C 3A ");
        const QString echo06 = QStringLiteral("01 06 00 00 12 34 84 BD ");
        const QString ack16 = QStringLiteral("01 10 00 00 00 02 41 C8 ");
        QTest::newRow("healthy") << QStringList{} << good04 << echo05 << echo06 << ack16 << "20";
        QTest::newRow("stray bytes after each reply")
            << QStringList{"--extra", "3"} << good04 << echo05 << echo06 << ack16 << "20";
        QTest::newRow("silent") << QStringList{"--no-reply"} << "No Response from LCD"
                                << "No Response from LCD"
                                << "No Response from LCD"
                                << "No Response from LCD"
                                << "";
        QTest::newRow("exceptions") << QStringList{"--exception", "4"} << "Incomplete Frame"
                                    << "CRC Err"
                                    << "Incomplete Frame"
                                    << "CRC Err"
                                    << "";
        QTest::newRow("corrupt CRC") << QStringList{"--corrupt-crc"} << "CRC Err"
                                     << "CRC Err"
                                     << "CRC Err"
                                     << "CRC Err"
                                     << "20";
        QTest::newRow("cut short") << QStringList{"--truncate", "4"} << "Incomplete Frame"
                                   << "CRC Err"
                                   << "Incomplete Frame"
                                   << "CRC Err"
                                   << "";
        QTest::newRow("other slave address")
            << QStringList{"--address", "9"} << "No Response from LCD"
            << "No Response from LCD"
            << "No Response from LCD"
            << "No Response from LCD"
            << "";
    }
    void allCommands() {
        QFETCH(QStringList, args);
        QFETCH(QString, rx04);
        QFETCH(QString, rx05);
        QFETCH(QString, rx06);
        QFETCH(QString, rx16);
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
        QCOMPARE(w->cmdConnect->text(), QStringLiteral("Disconnect"));

        w->cboAddr04->setCurrentIndex(1);
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), rx04);
        QCOMPARE(w->lblReg3x[1]->text(), register30002);

        w->cboData05->setCurrentIndex(1);
        w->cmdSend05->click();
        QCOMPARE(w->lblRxData->text(), rx05);

        w->cboDataH06->setCurrentIndex(0x12);
        w->cboDataL06->setCurrentIndex(0x34);
        w->cmdSend06->click();
        QCOMPARE(w->lblRxData->text(), rx06);

        w->txtMessage->setText(QStringLiteral("HEY"));
        w->cmdSend16->click();
        QCOMPARE(w->lblRxData->text(), rx16);
        QCOMPARE(w->lblTxData->text(), QStringLiteral("01 10 00 00 00 02 04 48 45 59 20 ") +
                                           w->lblTxData->text().right(6));

        QVERIFY(shownMessages().isEmpty());
        w->cmdConnect->click();
        QCOMPARE(sim.stop(), 0);
    }

    // A module that goes away while connected (its program ends) is reported once, and the
    // window can connect to it again when it is back.
    void moduleGoesAwayAndComesBack() {
        IniFolder ini;
        SimProcess sim;
        const QString link = ini.path() + QStringLiteral("/korvo.tty");
        sim.start({"--link", link});
        ini.write(
            "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n["
            "Ports]\r\n3=" +
            link.toLocal8Bit() + "\r\n");
        const auto w = connectedWindow();
        QCOMPARE(w->cmdConnect->text(), QStringLiteral("Disconnect"));
        sim.stop();
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w->cmdConnect->text(), QStringLiteral("Connect"));

        SimProcess again;
        again.start({"--link", link});
        w->cmdConnect->click();
        QCOMPARE(w->cmdConnect->text(), QStringLiteral("Disconnect"));
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text().size(), 21);
    }
};

QTEST_MAIN(TestKorvoSim)
#include "test_korvosim.moc"
