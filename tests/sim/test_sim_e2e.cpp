// SPDX-License-Identifier: MIT
// korvo-sim as a child process, talked to over its pseudo-terminal with the program's own
// serial control, as the main window and the configuration windows talk to a module. An
// upload through the configuration windows is followed there (test_config_sim).

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

#include "serial/mscomm.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "sim/display.h"
#include "sim/show/lcdview.h"
#include "sim/show/showwindow.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

const QByteArray read04 = fromHex("01 04 00 00 00 01 31 CA");
const QByteArray reply04 = fromHex("01 04 02 00 0A 39 37");

// The master's side: port 1 of modlcd.ini mapped to the simulator's line.
class Master {
  public:
    explicit Master(const QString& path, const QString& settings = "9600,n,8,1") {
        WriteINI("Ports", "1", path);
        comm_.CommPort(1);
        comm_.Settings(settings);
        comm_.InputMode(MSComm::InputModeKind::Binary);
        comm_.PortOpen(true);
    }

    // Sends, then collects what comes back until the line has been quiet for a while after
    // the last byte, or for the whole wait when nothing comes.
    // The wait is generous: a delayed reply must still come in on a loaded machine.
    QByteArray exchange(const QByteArray& request, int waitMs = 1000) {
        comm_.Output(request);
        QByteArray got;
        QElapsedTimer sinceLast;
        sinceLast.start();
        while (sinceLast.elapsed() < (got.isEmpty() ? waitMs : 80)) {
            QThread::msleep(2);
            if (comm_.InBufferCount() > 0) {
                got += comm_.Input();
                sinceLast.restart();
            }
        }
        return got;
    }

  private:
    MSComm comm_{settings::portDevice};
};

// Exit status and output of korvo-sim run to its end.
struct Finished {
    int code;
    QString out;
    QString err;
};

Finished runToEnd(const QStringList& args) {
    QProcess p;
    p.start(SimProcess::program(), args);
    p.waitForFinished(5000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class TestSimE2e : public QObject {
    Q_OBJECT
  private:
    IniFolder ini_;

  private slots:
    // Every function; the exceptions and the frames a slave stays silent to are the core's.
    void functions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("04") << QStringList{"--input-registers", "10,20,300"}
                            << withCrc("01 04 00 02 00 01") << withCrc("01 04 02 01 2C");
        QTest::newRow("05") << QStringList{} << fromHex("01 05 00 00 FF 00 8C 3A")
                            << fromHex("01 05 00 00 FF 00 8C 3A");
        QTest::newRow("06") << QStringList{} << fromHex("01 06 00 00 00 01 48 0A")
                            << fromHex("01 06 00 00 00 01 48 0A");
        QTest::newRow("16") << QStringList{} << fromHex("01 10 00 00 00 02 04 41 42 43 44 76 84")
                            << fromHex("01 10 00 00 00 02 41 C8");
    }
    void functions() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        SimProcess sim;
        Master master(sim.start(args));
        QCOMPARE(hexOf(master.exchange(request)), hexOf(reply));
        QVERIFY(sim.waitForLog("rx " + hexOf(request)));
        QVERIFY(sim.waitForLog("tx " + hexOf(reply)));
        QCOMPARE(sim.stop(), 0);
    }

    // Each fault shapes the reply as asked and is counted in the log.
    void faults_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("counted");
        const QByteArray good = fromHex("01 05 00 00 FF 00 8C 3A");
        QTest::newRow("no reply") << QStringList{"--no-reply"} << QByteArray() << "no-reply 2";
        QTest::newRow("delay") << QStringList{"--delay", "150"} << good << "delay 2";
        QTest::newRow("corrupt CRC") << QStringList{"--corrupt-crc"}
                                     << fromHex("01 05 00 00 FF 00 73 3A") << "corrupt-crc 2";
        QTest::newRow("truncate") << QStringList{"--truncate", "3"} << fromHex("01 05 00")
                                  << "truncate 2";
        QTest::newRow("extra") << QStringList{"--extra", "2"} << good + fromHex("00 00")
                               << "extra 2";
        QTest::newRow("exception")
            << QStringList{"--exception", "6"} << fromHex("01 85 06 C2 92") << "exception 2";
        QTest::newRow("echo") << QStringList{"--echo"} << good + good << "echo 2";
        QTest::newRow("echo without a reply")
            << QStringList{"--echo", "--no-reply"} << good << "no-reply 2, echo 2";
        QTest::newRow("unpaced") << QStringList{"--no-pace"} << good << "";
    }
    void faults() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reply);
        QFETCH(QString, counted);
        SimProcess sim;
        Master master(sim.start(args));
        const QByteArray request = fromHex("01 05 00 00 FF 00 8C 3A");
        QCOMPARE(hexOf(master.exchange(request)), hexOf(reply));
        QCOMPARE(hexOf(master.exchange(request)), hexOf(reply));
        QCOMPARE(sim.stop(), 0);
        if (!counted.isEmpty()) {
            QVERIFY2(sim.log().contains("faults injected: " + counted), qPrintable(sim.log()));
        }
    }

    // Garbage and floods are logged and dropped; the next request is still answered.
    void badInputSurvived() {
        SimProcess sim;
        Master master(sim.start({"--no-pace"}));
        QByteArray flood;
        for (int i = 0; i < 3000; ++i) {
            flood += static_cast<char>(i * 7);
        }
        master.exchange(flood, 200);
        QVERIFY2(sim.waitForLog("longer than any frame: dropped"), qPrintable(sim.log()));
        master.exchange(fromHex("FF FE"), 100);
        QVERIFY(sim.waitForLog("too short for a frame"));
        QCOMPARE(hexOf(master.exchange(read04)), hexOf(reply04));
        QVERIFY(sim.running());
    }

    // A master that closes, even one that left the line locked, does not shut out the next.
    void masterClosesAndReopens() {
        SimProcess sim;
        const QString path = sim.start({});
        {
            Master master(path);
            QVERIFY(!master.exchange(read04).isEmpty());
        }
        QVERIFY(sim.waitForLog("the master closed"));

        const int locked = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(locked >= 0);
        QCOMPARE(::ioctl(locked, TIOCEXCL), 0);
        ::close(locked);  // as a tool that dies holding its lock
        QVERIFY(sim.waitForLog("the master closed " + path + "; waiting", 3000));
        QTest::qWait(50);
        const int next = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(next >= 0);
        int exclusive = 1;
        QCOMPARE(::ioctl(next, TIOCGEXCL, &exclusive), 0);
        ::close(next);
        QCOMPARE(exclusive, 0);

        Master again(path);
        QCOMPARE(hexOf(again.exchange(read04)), hexOf(reply04));
    }

    // Replies nobody read before the master closed must not greet the next master.
    void unreadRepliesDropped() {
        SimProcess sim;
        const QString path = sim.start({"--no-pace", "--delay", "100"});
        {
            Master master(path);
            master.exchange(read04, 0);
        }
        // Whether the close is noticed before or after the late reply goes out, that reply
        // must not be waiting for the next master.
        QVERIFY(sim.waitForLog("the master closed"));
        QTRY_VERIFY_WITH_TIMEOUT(
            sim.log().contains("tx 01 04 02") || sim.log().contains("bytes not sent"), 3000);
        Master next(path);
        const QByteArray stale = next.exchange(QByteArray(), 150);
        QVERIFY2(stale.isEmpty(), qPrintable(hexOf(stale) + "\n" + sim.log()));
    }

    void stopSignals_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    // The link replaces what was there, works like the path, and goes with the program.
    void stopSignals() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyKorvo");
        QFile old(link);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QProcess p;
        p.start(SimProcess::program(), {"--link", link});
        QVERIFY(p.waitForReadyRead(5000));
        const QString ready = QString::fromUtf8(p.readLine()).trimmed();
        QVERIFY(ready.startsWith("ready /dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), ready.mid(6));
        {
            Master master(link);
            QCOMPARE(hexOf(master.exchange(read04)), hexOf(reply04));
        }
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    // An existing tty (here one end of a pair the test holds) instead of a new one.
    void existingDevice() {
        PtyPair pair;
        SimProcess sim;
        QCOMPARE(sim.start({"--device", pair.slavePath(), "--no-pace"}), pair.slavePath());
        pair.write(fromHex("01 06 00 00 00 01 48 0A"));
        QCOMPARE(hexOf(pair.readExactly(8)), hexOf(fromHex("01 06 00 00 00 01 48 0A")));
    }

    // The echo belongs to the line, not to the module: what comes in goes back whatever the
    // module makes of it, also bytes it drops or does not hear. Each burst is sent once the
    // log shows the one before it taken.
    void echoIgnoresFraming_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<QByteArray>>("bursts");
        QTest::addColumn<QList<QByteArray>>("back");
        QTest::addColumn<QStringList>("logged");
        QByteArray flood;
        for (int i = 0; i < 3000; ++i) {
            flood += static_cast<char>(i * 7);
        }
        const QByteArray upload =
            fromHex("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00");
        const QByteArray read05 = withCrc("05 04 00 00 00 01");
        QTest::newRow("a flood longer than any frame")
            << QStringList{"--echo", "--no-pace"} << QList<QByteArray>{flood, read04}
            << QList<QByteArray>{flood, read04 + reply04}
            << QStringList{"longer than any frame: dropped", "tx " + hexOf(reply04)};
        QTest::newRow("while storing an upload")
            << QStringList{"--echo", "--no-pace", "--settle-ms", "60000"}
            << QList<QByteArray>{upload, read05} << QList<QByteArray>{upload, read05}
            << QStringList{"deaf for 60000 ms", "not heard, still storing the upload"};
    }
    void echoIgnoresFraming() {
        QFETCH(QStringList, args);
        QFETCH(QList<QByteArray>, bursts);
        QFETCH(QList<QByteArray>, back);
        QFETCH(QStringList, logged);
        PtyPair pair;
        SimProcess sim;
        sim.start(args + QStringList{"--device", pair.slavePath()});
        for (qsizetype i = 0; i < bursts.size(); ++i) {
            pair.write(bursts[i]);
            QCOMPARE(hexOf(pair.readExactly(int(back[i].size()), 5000)), hexOf(back[i]));
            QVERIFY2(sim.waitForLog(logged[i]), qPrintable(sim.log()));
        }
        QVERIFY(sim.log().contains("bytes echoed as they came"));
    }

    // On its pseudo-terminal a 19200 8N2 module hears only a master at 19200 with two stop
    // bits, and takes an upload only at 9600 8N1.
    void masterLine_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QByteArray>("burst");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("logged");
        const QByteArray upload =
            fromHex("05 19 0E 81 01 02 00 14 05 03 01 01 02 00 00 01 00 0A 12 03 F0 10 00");
        QTest::newRow("matched") << "19200,n,8,2" << read04 << reply04 << "tx " + hexOf(reply04);
        QTest::newRow("other speed") << "9600,n,8,2" << read04 << QByteArray()
                                     << "master at 9600 8?2, module at 19200 8N2: garbled";
        QTest::newRow("one stop bit") << "19200,n,8,1" << read04 << QByteArray()
                                      << "master at 19200 8?1, module at 19200 8N2: garbled";
        QTest::newRow("upload at 19200")
            << "19200,n,8,2" << upload << QByteArray()
            << "configuration uploads are taken at 9600 8N1 only: garbled";
        QTest::newRow("upload at 9600 8N1")
            << "9600,n,8,1" << upload << QByteArray() << "now answering as slave 5 at 19200 8N2";
    }
    void masterLine() {
        QFETCH(QString, settings);
        QFETCH(QByteArray, burst);
        QFETCH(QByteArray, reply);
        QFETCH(QString, logged);
        SimProcess sim;
        Master master(sim.start({"--baud", "19200", "--format", "8N2", "--no-pace"}), settings);
        QCOMPARE(hexOf(master.exchange(burst, 300)), hexOf(reply));
        QVERIFY2(sim.waitForLog(logged), qPrintable(sim.log()));
    }

    // --show redraws on the frames of a standard master: after a write, the window's display
    // reads as the same window drawn here from a module given the same frame.
    void shownDisplay() {
        const QByteArray write = fromHex("01 10 00 00 00 02 04 41 42 43 44 76 84");
        QTemporaryDir dir;
        const QString shot = dir.filePath("shot.png");
        SimProcess sim;
        {
            Master master(sim.start({"--show", "--screenshot", shot, "--no-pace"}));
            QCOMPARE(hexOf(master.exchange(write)), hexOf(fromHex("01 10 00 00 00 02 41 C8")));
        }
        QCOMPARE(sim.stop(), 0);
        const QImage taken(shot);
        QVERIFY2(!taken.isNull(), qPrintable(sim.errors()));

        korvo::Module m{korvo::ModuleSetup{}};
        m.receive(
            {reinterpret_cast<const std::uint8_t*>(write.constData()), std::size_t(write.size())});
        korvo::ShowWindow w(korvo::viewOf(m));
        QCOMPARE(w.windowTitle(), QString::fromUtf8("Korvo-420 — virtual module"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage drawn = w.display()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(taken.copy(w.display()->geometry()).convertToFormat(QImage::Format_RGB32), drawn);
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "unknown option --bogus";
        QTest::newRow("malformed value") << QStringList{"--baud", "9601"} << 2 << "--baud 9601";
        QTest::newRow("missing value") << QStringList{"--delay"} << 2 << "--delay needs a value";
        QTest::newRow("device that is not there")
            << QStringList{"--device", "/nonexistent/tty"} << 1 << "/nonexistent/tty";
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        const Finished f = runToEnd(args);
        QCOMPARE(f.code, code);
        QVERIFY2(f.err.contains(says), qPrintable(f.err));
        QVERIFY(!f.out.contains("ready"));
    }
};

QTEST_MAIN(TestSimE2e)
#include "test_sim_e2e.moc"
