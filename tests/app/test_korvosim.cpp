// SPDX-License-Identifier: MIT
// The main window against korvo-sim with the faults the soak leaves out: stray bytes after
// a reply, a reply that comes late, and an adapter that echoes the request.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/app/slave.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

class TestKorvoSim : public QObject {
    Q_OBJECT
  private slots:
    void init() { recordMessages(); }

    void faults_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("rx");  // lblRxData after 04, 06, then 04 again
        const QString none = QStringLiteral("No Response from LCD");
        const QString read = QStringLiteral("01 04 02 00 14 B9 3F ");
        const QString write = QStringLiteral("01 06 00 00 00 00 89 CA ");
        // Stray bytes behind a reply are read with it and dropped.
        QTest::newRow("extra") << QStringList{"--extra", "3"} << QStringList{read, write, read};
        // 100 ms misses the 60 ms wait of 04 but not the 200 ms of 06 (the 06 reply comes
        // about 150 ms after its request, behind the late 04 reply): the late 04 reply stands
        // in front of the 06 reply, and the two fail the check together.
        QTest::newRow("late") << QStringList{"--delay", "100"}
                              << QStringList{none, QStringLiteral("CRC Err"), none};
        // An echoed 06 request is a well-formed 06 reply; an echoed 04 request is not.
        QTest::newRow("echo") << QStringList{"--echo"}
                              << QStringList{QStringLiteral("CRC Err"), write,
                                             QStringLiteral("CRC Err")};
    }
    void faults() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, rx);

        SimProcess sim;
        const QString path = sim.start(QStringList{"--model", "420", "--no-pace"} + args);
        IniFolder ini;
        ini.write(
            "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
            "Module=2004\r\n[Ports]\r\n3=" +
            path.toLocal8Bit() + "\r\n");
        const auto w = connectedWindow();
        w->cboAddr04->setCurrentIndex(1);
        QStringList seen;
        for (QPushButton* send : {w->cmdSend04, w->cmdSend06, w->cmdSend04}) {
            send->click();
            seen << w->lblRxData->text();
        }
        QCOMPARE(seen, rx);
        QVERIFY(shownMessages().isEmpty());
        w->cmdConnect->click();
        QCOMPARE(sim.stop(), 0);
    }
};

QTEST_MAIN(TestKorvoSim)
#include "test_korvosim.moc"
