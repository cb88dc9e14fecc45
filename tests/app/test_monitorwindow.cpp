// SPDX-License-Identifier: MIT
// Tools → Monitor Bus… on the virtual RS-485 line: the test is the master on one node,
// korvo-sim modules answer on two more, and the window listens on a fourth. Offscreen,
// clicking the real buttons and reading the real table.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "app/busmonitor/framerows.h"
#include "app/busmonitor/monitorwindow.h"
#include "app/frmMain.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgettest.h"

using namespace testsupport;

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
        main->monitorAction->trigger();
        window = main->findChild<monitor::MonitorWindow*>();
    }
    ~Bench() {
        closeAllWindows();
        if (master >= 0) {
            ::close(master);
        }
    }

    bool listen(int port) {
        window->portList->setCurrentIndex(port - 1);
        window->startButton->click();
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
        return window->frameTable->model()->index(row, column).data().toString();
    }
    QString figure(int address, int column) const {
        for (int r = 0; r < window->slaveTable->rowCount(); ++r) {
            if (window->slaveTable->item(r, 0)->text() == QString::number(address)) {
                return window->slaveTable->item(r, column)->text();
            }
        }
        return "(no row for " + QString::number(address) + ")";
    }
};

// What one run of mbpoll -v says it sent ([01][04]...) and received (<01><04>...).
QStringList mbpollFrames(const QString& out) {
    QStringList frames;
    for (QString line : out.split('\n')) {
        line = line.trimmed();
        if ((line.startsWith('[') && line.endsWith(']')) ||
            (line.startsWith('<') && line.endsWith('>'))) {
            line.remove(QRegularExpression(R"([\[<])"));
            line.replace(QRegularExpression(R"([\]>])"), " ");
            frames << line.trimmed();
        }
    }
    return frames;
}

// The lines of a korvo-sim log that say what it sent.
QStringList sentBy(const QString& log) {
    QStringList out;
    static const QRegularExpression tx(R"(^\d\d:\d\d:\d\d\.\d{3} tx (.*)$)");
    for (const QString& line : log.split('\n')) {
        if (const auto m = tx.match(line); m.hasMatch()) {
            out << m.captured(1);
        }
    }
    return out;
}

}  // namespace

class TestMonitorWindow : public QObject {
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
        QCOMPARE(b.window->startButton->text(), QStringLiteral("Stop"));

        const QByteArray read1 = fromHex("01 04 00 00 00 01 31 CA");
        const QByteArray read2 = withCrc("02 04 00 00 00 01");
        const QByteArray read7 = withCrc("07 04 00 00 00 01");
        const QByteArray outside = fromHex("01 04 00 09 00 01 E1 C8");
        QVERIFY(b.ask(read1, 2));
        QVERIFY(b.ask(read2, 4));
        QVERIFY(b.ask(read7, 5));
        QVERIFY(b.ask(outside, 7));  // the request to 7 is given up on when this one comes
        QTRY_VERIFY_WITH_TIMEOUT(b.cell(4, monitor::Outcome).contains("no reply"), 10000);
        b.window->startButton->click();
        QCOMPARE(b.window->startButton->text(), QStringLiteral("Start"));

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
        b.window->slaveList->setCurrentText(QStringLiteral("1"));
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

    // mbpoll polls three modules (04, 06, 16, two exceptions, a corrupt CRC) and a slave that
    // is not there, while tessaline-cli monitor and the window listen on two more nodes:
    // the command line lists every frame byte for byte as mbpoll and the modules logged
    // them, paired, with the figures per slave; tshark decodes its capture alike; the
    // window shows the same frames and figures; neither listener sent a byte.
    void sameFramesAsMbpollTheCommandLineAndTshark() {
        const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
        if (mbpoll.isEmpty()) {
            QSKIP("mbpoll is not installed (scripts/deps installs it)");
        }
        IniFolder ini;
        QTemporaryDir dir;
        SimProcess bus(SimProcess::busProgram());
        const QStringList nodes = bus.start({"--nodes", "6"}).split(' ');
        QCOMPARE(nodes.size(), 6);
        SimProcess one;
        SimProcess five;
        SimProcess seven;
        one.start({"--device", nodes[1], "--address", "1", "--no-pace"});
        five.start({"--device", nodes[2], "--address", "5", "--no-pace"});
        seven.start({"--device", nodes[3], "--address", "7", "--no-pace", "--corrupt-crc"});

        QProcess cli;
        const QString cap = dir.filePath("cap.pcap");
        cli.start(TESSALINE_CLI, {"monitor", "--port", nodes[4], "--baud", "9600", "--format",
                                  "8N1", "--json", "--duration", "600", "--pcap", cap});
        QVERIFY(cli.waitForStarted());
        ini.write("[Settings]\r\nCommPort=1\r\nSetting=9600,n,8,1\r\n[Ports]\r\n6=" +
                  nodes[5].toLocal8Bit() + "\r\n");
        frmMain main;
        main.show();
        main.monitorAction->trigger();
        auto* window = main.findChild<monitor::MonitorWindow*>();
        window->portList->setCurrentIndex(5);
        window->startButton->click();
        QVERIFY(window->busMonitor().isRunning());
        for (const char* opened : {"node 5: a master opened", "node 6: a master opened"}) {
            QVERIFY(bus.waitForLog(opened, 10000));
        }

        struct Run {
            int slave;
            QStringList args;
        };
        const QList<Run> runs{
            {1, {"-t", "3", "-r", "1", "-c", "3"}},              // 04
            {5, {"-t", "3", "-r", "1", "-c", "2"}},              // 04
            {5, {"-t", "4", "-r", "41", "@", "123"}},            // 06
            {1, {"-t", "4", "-r", "1", "@", "18533", "27756"}},  // 16
            {9, {"-t", "3", "-r", "1", "-o", "0.3"}},            // nobody: no reply
            {7, {"-t", "3", "-r", "1"}},                         // a corrupt CRC
            {1, {"-t", "3", "-r", "10"}},                        // exception 02
            {5, {"-t", "4", "-r", "1"}},                         // 03: exception 01
        };
        QStringList wire;
        for (const Run& run : runs) {
            QStringList args{"-m", "rtu", "-b", "9600", "-P", "none",
                             "-o", "5",   "-1", "-v",   "-a", QString::number(run.slave)};
            const qsizetype at = run.args.indexOf("@");
            args += run.args.mid(0, at < 0 ? run.args.size() : at);
            args << nodes[0];
            if (at >= 0) {
                args += run.args.mid(at + 1);
            }
            QProcess p;
            p.start(mbpoll, args);
            // The event loop goes on meanwhile, so the window listens as the line runs.
            QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000));
            const QStringList said = mbpollFrames(QString::fromUtf8(p.readAllStandardOutput()));
            QCOMPARE(said.size(), run.slave == 9 ? 1 : 2);
            wire += said;
        }
        QTRY_COMPARE_WITH_TIMEOUT(window->rows().rowCount(), wire.size(), 10000);
        window->startButton->click();  // stop
        ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 0);

        // The command line: every frame byte for byte, requests and replies paired.
        QList<QJsonObject> frames;
        QJsonObject summary;
        for (const QByteArray& line : cli.readAllStandardOutput().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains("summary")) {
                summary = o;
            } else if (!o.isEmpty()) {
                frames << o;
            }
        }
        QStringList heard;
        for (const QJsonObject& f : frames) {
            heard << f["bytes"].toString();
        }
        QCOMPARE(heard, wire);
        // The modules sent exactly the replies mbpoll received, as their logs say.
        QStringList replies;
        for (qsizetype i = 0; i < frames.size(); ++i) {
            const QJsonObject& f = frames[i];
            if (f["direction"] == "reply") {
                replies << f["bytes"].toString();
                QCOMPARE(f["answers"].toInt(), frames[i - 1]["frame"].toInt());
                QVERIFY(f["turnaround_us"].isDouble());
            }
        }
        QCOMPARE(replies.size(), 7);
        QCOMPARE(sentBy(one.log()) + sentBy(five.log()) + sentBy(seven.log()),
                 QStringList({replies[0], replies[3], replies[5], replies[1], replies[2],
                              replies[6], replies[4]}));
        QCOMPARE(frames[10]["crc_ok"].toBool(), false);  // from slave 7
        QCOMPARE(summary["bytes_written"].toInt(), 0);
        QMap<int, QJsonObject> perSlave;
        for (const QJsonValue v : summary["slaves"].toArray()) {
            perSlave[v["address"].toInt()] = v.toObject();
        }
        QCOMPARE(perSlave.keys(), QList<int>({1, 5, 7, 9}));
        QCOMPARE(perSlave[1]["requests"].toInt(), 3);
        QCOMPARE(perSlave[1]["replies"].toInt(), 3);
        QCOMPARE(perSlave[1]["exceptions"].toObject().value("02 illegal data address").toInt(), 1);
        QCOMPARE(perSlave[5]["exceptions"].toObject().value("01 illegal function").toInt(), 1);
        QCOMPARE(perSlave[7]["crc_errors"].toInt(), 1);
        QCOMPARE(perSlave[9]["no_reply"].toInt(), 1);
        for (const int a : {1, 5}) {
            QVERIFY(perSlave[a]["turnaround_median_us"].isDouble());
            QVERIFY(perSlave[a]["turnaround_p95_us"].isDouble());
            QVERIFY(perSlave[a]["turnaround_max_us"].isDouble());
        }

        // The window: the same frames, directions, CRC verdicts and figures.
        for (int r = 0; r < window->rows().rowCount(); ++r) {
            const busframe::Frame& f = window->rows().row(r).frame;
            QCOMPARE(hexOf(QByteArray(reinterpret_cast<const char*>(f.bytes.data()),
                                      static_cast<qsizetype>(f.bytes.size()))),
                     wire[r]);
            QCOMPARE(busframe::directionName(f.direction), frames[r]["direction"].toString());
            QCOMPARE(f.crcOk, frames[r]["crc_ok"].toBool());
        }
        for (int r = 0; r < window->slaveTable->rowCount(); ++r) {
            const QJsonObject& s = perSlave[window->slaveTable->item(r, 0)->text().toInt()];
            QCOMPARE(window->slaveTable->item(r, 1)->text().toInt(), s["requests"].toInt());
            QCOMPARE(window->slaveTable->item(r, 2)->text().toInt(), s["replies"].toInt());
            QCOMPARE(window->slaveTable->item(r, 3)->text().toInt(), s["no_reply"].toInt());
            QCOMPARE(window->slaveTable->item(r, 4)->text().toInt(), s["crc_errors"].toInt());
        }
        QCOMPARE(window->slaveTable->rowCount(), 4);

        // Neither listener put a byte on the line.
        QCOMPARE(bus.stop(), 0);
        QVERIFY(!bus.log().contains("node 5 sent"));
        QVERIFY(!bus.log().contains("node 6 sent"));

        // tshark reads the capture with the same addresses, functions and CRC verdicts.
        const QString tshark = QStandardPaths::findExecutable("tshark");
        if (tshark.isEmpty()) {
            QSKIP("tshark is not installed (scripts/deps installs it)");
        }
        QProcess t;
        t.start(tshark,
                {"-r", cap, "-o", R"uat(uat:user_dlts:"User 0 (DLT=147)","mbrtu","0","","0","")uat",
                 "-o", "mbrtu.crc_verification:TRUE", "-T", "fields", "-e", "mbrtu.unit_id", "-e",
                 "modbus.func_code", "-e", "mbrtu.crc16.status"});
        QVERIFY(t.waitForFinished(120'000));
        QStringList decoded = QString::fromUtf8(t.readAllStandardOutput()).split('\n');
        decoded.removeAll(QString());
        QCOMPARE(decoded.size(), frames.size());
        for (qsizetype i = 0; i < frames.size(); ++i) {
            const QStringList fields = decoded[i].split('\t');
            QCOMPARE(fields.value(0).toInt(), frames[i]["address"].toInt());
            QCOMPARE(fields.value(1).toInt(), frames[i]["function"].toInt() & 0x7F);
            QCOMPARE(fields.value(2), frames[i]["crc_ok"].toBool() ? "1" : "0");
        }
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
        b.window->portList->setCurrentIndex(port - 1);
        b.window->startButton->click();
        QCOMPARE(b.window->busMonitor().isRunning(), !refused);
        QCOMPARE(b.window->statusLabel->text().contains("held by the main window"), refused);
        QCOMPARE(b.window->startButton->text(),
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

QTEST_MAIN(TestMonitorWindow)
#include "test_monitorwindow.moc"
