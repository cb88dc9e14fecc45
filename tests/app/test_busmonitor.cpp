// Tools → Monitor Bus… on the virtual RS-485 line: the test is the master on one node,
// korvo-sim modules answer on two more, and the window listens on a fourth. Offscreen,
// clicking the real buttons and reading the real table.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include "app/busmonitor/framerows.h"
#include "app/busmonitor/monitorwindow.h"
#include "app/frmMain.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgettest.h"

namespace {

// Port 1: the master's node; port 2: a link to it; port 4: the node the window listens on.
struct Bench {
    IniFolder ini;
    QTemporaryDir dir;
    SimProcess bus{SimProcess::busProgram()};
    SimProcess one;
    SimProcess two;
    QStringList nodes;
    int master = -1;
    std::unique_ptr<frmMain> main;
    monitor::MonitorWindow* window = nullptr;

    Bench() {
        nodes = bus.start({"--nodes", "4"}).split(' ');
        // The bus paces what they write; korvo-sim pacing too would add nothing but pauses
        // inside a reply whenever this machine holds it up.
        one.start({"--device", nodes.value(1), "--address", "1", "--no-pace"});
        two.start({"--device", nodes.value(2), "--address", "2", "--no-pace", "--corrupt-crc"});
        const QString link = dir.filePath("master.tty");
        QFile::link(nodes.value(0), link);
        ini.write(
            "[Settings]\r\nCommPort=1\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
            "Module=2004\r\n[Ports]\r\n1=" +
            nodes.value(0).toLocal8Bit() + "\r\n2=" + link.toLocal8Bit() +
            "\r\n4=" + nodes.value(3).toLocal8Bit() + "\r\n");
        main = std::make_unique<frmMain>();
        main->show();
        main->mnuMonitor->trigger();
        window = main->findChild<monitor::MonitorWindow*>();
    }
    ~Bench() {
        closeAllWindows();
        if (master >= 0) {
            ::close(master);
        }
    }

    bool listen(int port) {
        window->cboPort->setCurrentIndex(port - 1);
        window->cmdStart->click();
        return window->busMonitor().isRunning() &&
               bus.waitForLog(QString("node %1: a master opened").arg(port), 10000);
    }
    // Writes a request as the master and waits until the window has a row for it and, when
    // one is due, for the reply.
    bool ask(const QByteArray& request, int rowsAfter) {
        if (master < 0) {
            master = ::open(nodes.value(0).toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        }
        if (::write(master, request.constData(), static_cast<std::size_t>(request.size())) !=
            request.size()) {
            return false;
        }
        return QTest::qWaitFor([&] { return window->rows().rowCount() >= rowsAfter; }, 10000);
    }
    QString cell(int row, int column) const {
        return window->grdFrames->model()->index(row, column).data().toString();
    }
    QString figure(int address, int column) const {
        for (int r = 0; r < window->grdSlaves->rowCount(); ++r) {
            if (window->grdSlaves->item(r, 0)->text() == QString::number(address)) {
                return window->grdSlaves->item(r, column)->text();
            }
        }
        return "(no row for " + QString::number(address) + ")";
    }
};

}  // namespace

class TestBusMonitor : public QObject {
    Q_OBJECT
  private slots:
    void init() { recordMessages(); }

    // Two modules polled, one with a corrupt CRC, a slave that is not there and an
    // exception: the rows, the figures, the filter, the files, and not a byte sent.
    void framesFiguresAndFiles() {
        Bench b;
        QVERIFY(b.window != nullptr);
        QVERIFY(!b.window->isModal());
        QVERIFY(b.listen(4));
        QCOMPARE(b.window->cmdStart->text(), QStringLiteral("Stop"));

        const QByteArray read1 = fromHex("01 04 00 00 00 01 31 CA");
        const QByteArray read2 = withCrc("02 04 00 00 00 01");
        const QByteArray read7 = withCrc("07 04 00 00 00 01");
        const QByteArray outside = fromHex("01 04 00 09 00 01 E1 C8");
        QVERIFY(b.ask(read1, 2));
        QVERIFY(b.ask(read2, 4));
        QVERIFY(b.ask(read7, 5));
        QVERIFY(b.ask(outside, 7));  // the request to 7 is given up on when this one comes
        QTRY_VERIFY_WITH_TIMEOUT(b.cell(4, monitor::Outcome).contains("no reply"), 10000);
        b.window->cmdStart->click();
        QCOMPARE(b.window->cmdStart->text(), QStringLiteral("Start"));

        QByteArray corrupted = withCrc("02 04 02 00 0A");  // --corrupt-crc inverts the low byte
        corrupted[5] = static_cast<char>(corrupted[5] ^ 0xFF);
        const QStringList bytes{hexOf(read1),     "01 04 02 00 0A 39 37", hexOf(read2),
                                hexOf(corrupted), hexOf(read7),           hexOf(outside),
                                "01 84 02 C2 C1"};
        QStringList shown;
        for (int r = 0; r < b.window->rows().rowCount(); ++r) {
            shown << b.cell(r, monitor::Bytes);
        }
        QCOMPARE(shown, bytes);
        QCOMPARE(b.cell(0, monitor::Direction), QStringLiteral("request"));
        QCOMPARE(b.cell(1, monitor::Direction), QStringLiteral("reply"));
        QVERIFY(!b.cell(1, monitor::TurnaroundMs).isEmpty());
        QVERIFY(b.cell(3, monitor::Outcome).contains("CRC error"));
        QVERIFY(b.cell(6, monitor::Meaning).contains("illegal data address"));

        // Figures per slave: requests, replies, no reply, CRC errors, exceptions, turnaround.
        QCOMPARE(b.figure(1, 1), QStringLiteral("2"));
        QCOMPARE(b.figure(1, 2), QStringLiteral("2"));
        QVERIFY(b.figure(1, 5).startsWith("02 illegal data address"));
        QVERIFY(!b.figure(1, 8).isEmpty());
        QCOMPARE(b.figure(2, 4), QStringLiteral("1"));
        QCOMPARE(b.figure(7, 3), QStringLiteral("1"));

        // The filter by slave address, then the files of what is shown.
        b.window->cboSlave->setCurrentText(QStringLiteral("1"));
        QCOMPARE(b.window->shownRows(), 4);
        const QString csv = b.dir.filePath("bus.csv");
        QVERIFY(b.window->exportCsv(csv));
        QFile csvFile(csv);
        QVERIFY(csvFile.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csvFile.readAll().split('\n');
        QCOMPARE(lines.size(), 1 + 4 + 1);  // header, rows, and the empty tail after CRLF
        QVERIFY(
            lines[0].startsWith("ms,time,port,device,direction,bytes,meaning,outcome,"
                                "address,gap_ms,turnaround_ms,flags"));
        QVERIFY(lines[2].contains(",reply,01 04 02 00 0A 39 37,"));
        const QString cap = b.dir.filePath("bus.pcap");
        QVERIFY(b.window->saveCapture(cap));
        QFile capFile(cap);
        QVERIFY(capFile.open(QIODevice::ReadOnly));
        const QByteArray pcap = capFile.readAll();
        QCOMPARE(pcap.left(4), fromHex("D4 C3 B2 A1"));
        QCOMPARE(pcap.size(), 24 + 4 * 16 + 8 + 7 + 8 + 5);
        QVERIFY(shownMessages().isEmpty());

        // The bus logs every burst a node sends: the window's node sent none.
        QCOMPARE(b.bus.stop(), 0);
        QVERIFY(!b.bus.log().contains("node 4 sent"));
        QVERIFY(b.bus.log().contains("node 1 sent"));
    }

    // While the main window holds a port the monitor does not take it, by its number or by
    // another number mapped to the same device; another port it does.
    void refusedWhileMainHoldsThePort_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("refused");
        QTest::newRow("the same number") << 1 << true;
        QTest::newRow("a link to the same device") << 2 << true;
        QTest::newRow("another port") << 4 << false;
    }
    void refusedWhileMainHoldsThePort() {
        QFETCH(int, port);
        QFETCH(bool, refused);
        Bench b;
        b.main->cmdConnect->click();
        QVERIFY(b.main->MSComm1.PortOpen());
        b.window->cboPort->setCurrentIndex(port - 1);
        b.window->cmdStart->click();
        QCOMPARE(b.window->busMonitor().isRunning(), !refused);
        QCOMPARE(b.window->lblStatus->text().contains("held by the main window"), refused);
        QCOMPARE(b.window->cmdStart->text(),
                 refused ? QStringLiteral("Start") : QStringLiteral("Stop"));
    }

    // The table keeps the last rows only, drops the oldest a hundredth at a time and says
    // how many went; a request dropped before its wait ran out is let go quietly.
    void rowsAreBounded() {
        monitor::FrameRows rows(200);
        std::uint64_t droppedSeen = 0;
        QObject::connect(&rows, &monitor::FrameRows::droppedChanged,
                         [&](std::uint64_t d) { droppedSeen = d; });
        for (std::uint64_t n = 1; n <= 250; ++n) {
            monitor::Row r;
            r.frame.number = n;
            r.frame.bytes = {0x01, 0x04};
            rows.append(r);
        }
        QCOMPARE(rows.rowCount(), 200);
        QCOMPARE(rows.dropped(), 50U);
        QCOMPARE(droppedSeen, 50U);
        QCOMPARE(rows.row(0).frame.number, 51U);
        rows.markUnanswered(3);  // gone already
        rows.markUnanswered(60);
        QVERIFY(rows.index(9, monitor::Outcome).data().toString().contains("no reply"));
        QVERIFY(!rows.index(10, monitor::Outcome).data().toString().contains("no reply"));
    }
};

QTEST_MAIN(TestBusMonitor)
#include "test_busmonitor.moc"
