// SPDX-License-Identifier: MIT
#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <termios.h>

#include <algorithm>
#include <array>
#include <functional>
#include <future>
#include <memory>

#include "core/portlock.h"
#include "serial/mscomm.h"
#include "serial/traffic/recorder.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"

using namespace testsupport;

namespace {

constexpr int kPort = 7;

QByteArray pattern(int size) {
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i) {
        out[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return out;
}

// Polls InBufferCount, never running the event loop, until it reaches want or 2 s pass.
int countWithoutEventLoop(MSComm& comm, int want) {
    const QDeadlineTimer deadline(2000);
    int count = comm.InBufferCount();
    while (count < want && !deadline.hasExpired()) {
        QThread::msleep(5);
        count = comm.InBufferCount();
    }
    return count;
}

bool throwsCommError(const std::function<void()>& action) {
    try {
        action();
    } catch (const serial::CommError& e) {
        return QByteArray(e.what()).size() > 0;
    }
    return false;
}

// Messages of the tessaline.* categories while it lives, as "category: text".
class TraceCatcher {
  public:
    explicit TraceCatcher(const QString& rules) {
        QLoggingCategory::setFilterRules(rules);
        caught().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext& context, const QString& text) {
                if (QByteArray(context.category).startsWith("tessaline.")) {
                    caught() << QString::fromLatin1(context.category) + QStringLiteral(": ") + text;
                }
            });
    }
    ~TraceCatcher() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules({});
    }
    TraceCatcher(const TraceCatcher&) = delete;
    TraceCatcher& operator=(const TraceCatcher&) = delete;

    static QStringList& caught() {
        static QStringList lines;
        return lines;
    }

  private:
    QtMessageHandler previous_ = nullptr;
};

}  // namespace

class TestMSComm : public QObject {
    Q_OBJECT

    std::unique_ptr<IniFolder> ini_;
    std::unique_ptr<PtyPair> pty_;

    // A control on kPort, which modlcd.ini maps to the pty.
    std::unique_ptr<MSComm> openOnPty(const QString& settings = QStringLiteral("9600,n,8,1")) {
        auto comm = std::make_unique<MSComm>(settings::portDevice);
        comm->InputMode(MSComm::InputModeKind::Binary);
        comm->Settings(settings);
        comm->CommPort(kPort);
        comm->PortOpen(true);
        return comm;
    }

    // A pty keeps 8 data bits and no parity whatever it is told: speed and stop bits show.
    void expectLine(speed_t speed, bool twoStopBits) {
        termios tio{};
        QCOMPARE(::tcgetattr(pty_->slaveFd(), &tio), 0);
        QCOMPARE(cfgetospeed(&tio), speed);
        QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBits);
        QVERIFY(!(tio.c_cflag & CRTSCTS) && !(tio.c_iflag & (IXON | IXOFF)));
    }

  private slots:
    void init() {
        ini_ = std::make_unique<IniFolder>();
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(WriteINI(QStringLiteral("Ports"), QString::number(kPort), pty_->slavePath()));
    }
    void cleanup() {
        pty_.reset();
        ini_.reset();
    }

    void acceptedSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baud");
        QTest::addColumn<char>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::newRow("8N2") << "19200,n,8,2" << 19200 << 'n' << 8 << 2;
        QTest::newRow("8E1 upper case") << "38400,E,8,1" << 38400 << 'e' << 8 << 1;
        QTest::newRow("odd, 7 bits, 1.5 stop") << "110,o,7,1.5" << 110 << 'o' << 7 << 3;
        QTest::newRow("mark, 5 bits") << "1200,M,5,1" << 1200 << 'm' << 5 << 1;
        QTest::newRow("space, 6 bits") << "300,s,6,2" << 300 << 's' << 6 << 2;
    }
    void acceptedSettings() {
        QFETCH(QString, text);
        const serial::LineSettings line = serial::parseSettings(text);
        QTEST(line.baud, "baud");
        QTEST(line.parity, "parity");
        QTEST(line.dataBits, "dataBits");
        QTEST(line.stopBits, "stopBits");
    }

    void refusedSettings_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("baud alone") << "9600";
        QTest::newRow("no baud") << ",n,8,1";
        QTest::newRow("unknown parity") << "9600,x,8,1";
        QTest::newRow("no parity letter") << "9600,,8,1";
        QTest::newRow("two parity letters") << "9600,ne,8,1";
        QTest::newRow("9 data bits") << "9600,n,9,1";
        QTest::newRow("4 data bits") << "9600,n,4,1";
        QTest::newRow("stop bits 0") << "9600,n,8,0";
        QTest::newRow("stop bits 3") << "9600,n,8,3";
        QTest::newRow("baud not a number") << "fast,n,8,1";
        QTest::newRow("baud zero") << "0,n,8,1";
        QTest::newRow("fifth field") << "9600,n,8,1,1";
    }
    // Refused when written, closed or open, and the previous settings stay.
    void refusedSettings() {
        QFETCH(QString, text);
        QVERIFY(throwsCommError([&] { serial::parseSettings(text); }));
        MSComm closed{settings::portDevice};
        QVERIFY(throwsCommError([&] { closed.Settings(text); }));
        QCOMPARE(closed.Settings(), QStringLiteral("9600,n,8,1"));

        auto open = openOnPty(QStringLiteral("19200,n,8,2"));
        QVERIFY(throwsCommError([&] { open->Settings(text); }));
        QCOMPARE(open->Settings(), QStringLiteral("19200,n,8,2"));
        expectLine(B19200, true);
    }

    // An observer sees every received byte once, as it arrives, whether the event loop or a
    // count pulled it in; looking takes nothing, and a reopened port starts afresh.
    void observerSeesWithoutTaking() {
        auto comm = openOnPty();
        QSignalSpy written(comm.get(), &MSComm::written);
        QSignalSpy arrived(comm.get(), &MSComm::arrived);
        const auto seen = [&] {
            QByteArray all;
            for (const QList<QVariant>& args : std::as_const(arrived)) {
                all += args.at(0).toByteArray();
            }
            return all;
        };
        comm->Output(QByteArray("\x01\x04"));
        QCOMPARE(written.size(), 1);
        QCOMPARE(written.at(0).at(0).toByteArray(), QByteArray("\x01\x04"));

        pty_->write("AB");
        QVERIFY(QTest::qWaitFor([&] { return seen() == "AB"; }));
        pty_->write("CD");
        QCOMPARE(countWithoutEventLoop(*comm, 4), 4);
        QCOMPARE(seen(), QByteArray("ABCD"));
        QCOMPARE(comm->Peek(), QByteArray("ABCD"));
        QCOMPARE(comm->InBufferCount(), 4);
        QCOMPARE(comm->noticedWaiting(), 4);
        QCOMPARE(comm->Input(), QByteArray("ABCD"));
        QCOMPARE(comm->noticedWaiting(), 0);

        pty_->write("E");
        QVERIFY(QTest::qWaitFor([&] { return seen() == "ABCDE"; }));
        comm->PortOpen(false);
        comm->PortOpen(true);
        pty_->write("F");
        QVERIFY(QTest::qWaitFor([&] { return seen() == "ABCDEF"; }));
        QCOMPARE(comm->Input(), QByteArray("F"));
    }

    void settingsApplyToAnOpenPort() {
        auto comm = openOnPty();
        comm->Settings(QStringLiteral("38400,n,8,2"));
        expectLine(B38400, true);
        // Settings the device refuses (a pty takes no 7-bit characters) leave the line as it
        // was, the baud rate included.
        QVERIFY(throwsCommError([&] { comm->Settings(QStringLiteral("19200,n,7,1")); }));
        QCOMPARE(comm->Settings(), QStringLiteral("38400,n,8,2"));
        expectLine(B38400, true);
    }

    void outputAndInput() {
        // Left in the line by an earlier owner: a fresh port does not hand it over.
        pty_->write(QByteArray("for the last owner"));
        QThread::msleep(50);
        auto comm = openOnPty();
        comm->Output(pattern(256));
        const std::array<std::uint8_t, 3> request{0x01, 0x04, 0xFF};
        comm->Output(request);
        QCOMPARE(pty_->readExactly(259), pattern(256) + QByteArray("\x01\x04\xFF", 3));

        // Received bytes are counted as they come in, without the event loop, and handed
        // over in order by Input, which empties the buffer.
        QCOMPARE(comm->InBufferCount(), 0);
        pty_->write(QByteArray("\x01\x04\x02", 3));
        QCOMPARE(countWithoutEventLoop(*comm, 3), 3);
        pty_->write(pattern(600));
        QCOMPARE(countWithoutEventLoop(*comm, 603), 603);
        QCOMPARE(comm->Input(), QByteArray("\x01\x04\x02", 3) + pattern(600));
        QCOMPARE(comm->InBufferCount(), 0);
        QCOMPARE(comm->Input(), QByteArray());
    }

    // The serial layer's trace is off unless the logging rules ask for it.
    void traceOnRequest_data() {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<bool>("traced");
        QTest::newRow("no rules") << QString() << false;
        QTest::newRow("every tessaline category") << "tessaline.*.debug=true" << true;
        QTest::newRow("the serial category") << "tessaline.serial.debug=true" << true;
        QTest::newRow("another category") << "tessaline.finder.debug=true" << false;
    }
    void traceOnRequest() {
        QFETCH(QString, rules);
        QFETCH(bool, traced);
        QStringList lines;
        {
            const TraceCatcher catcher(rules);
            auto comm = openOnPty(QStringLiteral("19200,n,8,2"));
            comm->Output(pattern(5));
            comm->PortOpen(false);
            lines = TraceCatcher::caught();
        }
        const auto has = [&](const QString& part) {
            return std::any_of(lines.begin(), lines.end(), [&](const QString& l) {
                return l.startsWith(QStringLiteral("tessaline.serial: ")) && l.contains(part);
            });
        };
        QCOMPARE(has(QStringLiteral("opened %1 ").arg(pty_->slavePath())), traced);
        QCOMPARE(has(QStringLiteral("19200,n,8,2")), traced);
        QCOMPARE(has(QStringLiteral("out 5 bytes")), traced);
        QCOMPARE(has(QStringLiteral("closed")), traced);
        if (!traced) {
            QCOMPARE(lines, QStringList());
        }
    }

    // A line that talks while nothing reads: the receive buffer keeps the first
    // InBufferSize bytes and drops the rest, counted, whether the event loop or a count pulls
    // them in. Each byte is reported once, so an arrival's work is its own bytes; the
    // traffic log has one row saying from when and how many went, and once the buffer is
    // read, bytes find room again.
    void fullBufferDropsAndCounts_data() {
        QTest::addColumn<bool>("eventLoop");
        QTest::newRow("event loop") << true;
        QTest::newRow("counting") << false;
    }
    void fullBufferDropsAndCounts() {
        QFETCH(bool, eventLoop);
        auto comm = openOnPty();
        traffic::Recorder recorder;
        recorder.watch(*comm, framewords::Line::Modbus);
        QByteArray reported;
        qint64 lost = 0;
        connect(comm.get(), &MSComm::arrived, this, [&](const QByteArray& b) { reported += b; });
        connect(comm.get(), &MSComm::lost, this, [&](qint64 n) { lost += n; });

        constexpr qsizetype kChunk = 512;
        const qsizetype total = 8 * MSComm::InBufferSize;
        const QByteArray flood = pattern(static_cast<int>(total));
        for (qsizetype at = 0; at < total; at += kChunk) {
            pty_->write(flood.mid(at, kChunk));
            const auto caughtUp = [&] { return reported.size() + lost == at + kChunk; };
            if (eventLoop) {
                QVERIFY(QTest::qWaitFor(caughtUp));
            } else {
                const QDeadlineTimer deadline(5000);
                while (!caughtUp() && !deadline.hasExpired()) {
                    comm->InBufferCount();
                    QThread::msleep(1);
                }
                QVERIFY(caughtUp());
            }
            QVERIFY(comm->InBufferCount() <= MSComm::InBufferSize);
        }
        QCOMPARE(lost, total - MSComm::InBufferSize);
        QCOMPARE(reported, flood.first(MSComm::InBufferSize));
        QCOMPARE(comm->Input(), reported);

        pty_->write("AB");
        QVERIFY(QTest::qWaitFor([&] { return reported.endsWith("AB"); }));
        QCOMPARE(comm->Input(), QByteArray("AB"));
        QCOMPARE(reported.size(), MSComm::InBufferSize + 2);

        traffic::Model& rows = recorder.model();
        rows.flush();
        QStringList losses;
        for (int i = 0; i < rows.rowCount(); ++i) {
            if (rows.row(i).meaning.startsWith(QLatin1String("receive buffer full"))) {
                losses << rows.row(i).meaning + QLatin1String(" | ") + rows.row(i).outcome;
            }
        }
        QCOMPARE(losses, QStringList{QStringLiteral("receive buffer full (%1 bytes): arriving "
                                                    "bytes lost | %2 bytes lost")
                                         .arg(MSComm::InBufferSize)
                                         .arg(total - MSComm::InBufferSize)});
    }

    void refusedOpen_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("missing device") << 3 << "/nonexistent/ttyLCD";
        QTest::newRow("port 0") << 0 << "";
    }
    void refusedOpen() {
        QFETCH(int, port);
        QFETCH(QString, device);
        if (!device.isEmpty()) {
            QVERIFY(WriteINI(QStringLiteral("Ports"), QString::number(port), device));
        }
        MSComm comm{settings::portDevice};
        comm.CommPort(port);
        try {
            comm.PortOpen(true);
            QFAIL("open succeeded");
        } catch (const serial::CommError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(device), e.what());
        }
        QVERIFY(!comm.PortOpen());
    }

    // One device, reached through its own path and through a link in the Ports section: a
    // second control cannot take it by either name until the first lets go.
    void busyPortIsRefused_data() {
        QTest::addColumn<bool>("viaLink");
        QTest::addColumn<QString>("linkEntry");
        QTest::newRow("same path") << false << "";
        QTest::newRow("link to the same pty") << true << "";
        QTest::newRow("link beside modlcd.ini, relative") << true << "ttyLCD";
    }
    void busyPortIsRefused() {
        QFETCH(bool, viaLink);
        QFETCH(QString, linkEntry);
        const QString link = ini_->path() + QStringLiteral("/ttyLCD");
        QVERIFY(QFile::link(pty_->slavePath(), link));
        QVERIFY(WriteINI(QStringLiteral("Ports"), QStringLiteral("8"),
                         linkEntry.isEmpty() ? link : linkEntry));

        auto first = openOnPty();
        MSComm second{settings::portDevice};
        second.CommPort(viaLink ? 8 : kPort);
        try {
            second.PortOpen(true);
            QFAIL("a busy port was opened a second time");
        } catch (const serial::CommError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(viaLink ? link : pty_->slavePath()),
                     e.what());
        }
        first->Output(QByteArray("still mine"));
        QCOMPARE(pty_->readExactly(10), QByteArray("still mine"));

        first->PortOpen(false);
        second.PortOpen(true);
        second.Output(QByteArray("now yours"));
        QCOMPARE(pty_->readExactly(9), QByteArray("now yours"));
    }

    // Only a real process id counts: 0 or -1 would ask after a whole process group, and
    // the binary form of old systems is no id at all. -1 stands for none.
    void lockFileOwner_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<qint64>("pid");
        QTest::newRow("UUCP") << QByteArray("      1234\n") << qint64{1234};
        QTest::newRow("UUCP, program, user") << QByteArray("   99 minicom root\n") << qint64{99};
        QTest::newRow("Qt") << QByteArray("77\ntessaline\nvm\nid\nboot\n") << qint64{77};
        QTest::newRow("zero") << QByteArray("         0\n") << qint64{-1};
        QTest::newRow("negative") << QByteArray("-1\n") << qint64{-1};
        QTest::newRow("binary") << QByteArray("\x39\x30\x00\x00", 4) << qint64{-1};
        QTest::newRow("beyond a pid") << QByteArray("4294967297\n") << qint64{-1};
        QTest::newRow("empty") << QByteArray() << qint64{-1};
    }
    void lockFileOwner() {
        QFETCH(QByteArray, contents);
        QFETCH(qint64, pid);
        QCOMPARE(portlock::ownerPid(contents).value_or(-1), pid);
    }

    // Another program's lock file on the line (a terminal program's): honoured while its
    // process runs, whatever its form and name, and left alone; taken over once the process
    // has ended.
    void foreignLocks_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("lastPartOnly");
        QTest::addColumn<bool>("running");
        QTest::newRow("UUCP, running") << "uucp" << false << true;
        QTest::newRow("UUCP with program and user") << "minicom" << false << true;
        QTest::newRow("UUCP named by the last part") << "uucp" << true << true;
        QTest::newRow("Qt's own, running") << "qt" << false << true;
        QTest::newRow("UUCP, ended") << "uucp" << false << false;
        QTest::newRow("Qt's own, ended") << "qt" << false << false;
    }
    void foreignLocks() {
        QFETCH(QString, form);
        QFETCH(bool, lastPartOnly);
        QFETCH(bool, running);
        QProcess owner;
        owner.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(owner.waitForStarted());
        const QByteArray pid = QByteArray::number(owner.processId());
        if (!running) {
            owner.kill();
            QVERIFY(owner.waitForFinished());
        }
        QByteArray lock = pid.rightJustified(10, ' ') + '\n';
        if (form == u"minicom") {
            lock.insert(10, " minicom root");
        } else if (form == u"qt") {
            lock = pid + "\nsleep\n" + QSysInfo::machineHostName().toUtf8() + "\nid\nboot\n";
        }
        const QString device = pty_->slavePath();  // /dev/pts/N
        QString name = lastPartOnly ? device.section(u'/', -1) : device.mid(5);
        QTemporaryDir locks;
        const QString lockFile = locks.filePath("LCK.." + name.replace(u'/', u'_'));
        QFile f(lockFile);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(lock) == lock.size());
        f.close();

        MSComm comm{settings::portDevice};
        comm.lockFolders({locks.path()});
        comm.CommPort(kPort);
        if (running) {
            try {
                comm.PortOpen(true);
                QFAIL("a port locked by a running process was opened");
            } catch (const serial::CommError& e) {
                const QString why = QString::fromUtf8(e.what());
                QVERIFY2(why.contains(device) && why.contains(lockFile) && why.contains(pid),
                         e.what());
            }
            QVERIFY(!comm.PortOpen());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), lock);
            owner.kill();
            owner.waitForFinished();
        } else {
            comm.PortOpen(true);
            comm.Output(QByteArray("mine"));
            QCOMPARE(pty_->readExactly(4), QByteArray("mine"));
        }
    }

    // Bytes handed over just before the port closes still reach the line, also when they
    // are more than the system takes at once and the event loop never ran to send them.
    void closeDeliversEverything_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("destroy");
        QTest::newRow("110 bytes, close") << "9600,n,8,1" << 110 << false;
        QTest::newRow("big burst, destroy") << "115200,n,8,1" << 100000 << true;
    }
    void closeDeliversEverything() {
        QFETCH(QString, settings);
        QFETCH(int, size);
        QFETCH(bool, destroy);
        auto comm = openOnPty(settings);
        auto received = std::async(std::launch::async, [&] {
            QThread::msleep(100);  // let the system's buffer fill first
            return pty_->readExactly(size, 5000);
        });
        comm->Output(pattern(size));
        if (destroy) {
            comm.reset();
        } else {
            comm->PortOpen(false);
        }
        QCOMPARE(received.get(), pattern(size));
    }

    void closedPortRefusesIo() {
        MSComm comm{settings::portDevice};
        comm.CommPort(kPort);
        comm.PortOpen(false);  // closing a closed port does nothing
        QVERIFY(throwsCommError([&] { comm.Output(QByteArray("x")); }));
        QVERIFY(throwsCommError([&] { comm.InBufferCount(); }));
        QVERIFY(throwsCommError([&] { comm.Input(); }));

        comm.PortOpen(true);
        QVERIFY(throwsCommError([&] { comm.PortOpen(true); }));
        QVERIFY(throwsCommError([&] { comm.CommPort(1); }));
        comm.PortOpen(false);
        QVERIFY(throwsCommError([&] { comm.Output(QByteArray("x")); }));
        comm.PortOpen(true);  // and it opens again
        comm.Output(QByteArray("again"));
        QCOMPARE(pty_->readExactly(5), QByteArray("again"));
    }

    // The far end going away while the port is open: the port closes and says why once,
    // whether the program is polling, sending or idle in the event loop.
    void hangUpClosesThePort_data() {
        QTest::addColumn<QString>("noticedBy");
        QTest::newRow("polling") << "InBufferCount";
        QTest::newRow("reading") << "Input";
        QTest::newRow("sending") << "Output";
        QTest::newRow("event loop") << "events";
    }
    void hangUpClosesThePort() {
        QFETCH(QString, noticedBy);
        auto comm = openOnPty();
        QSignalSpy failed(comm.get(), &MSComm::portFailed);
        pty_->write(QByteArray("late"));
        QThread::msleep(20);
        pty_->closeMaster();

        // The system may report the hangup to the second call of a kind only.
        const auto useThePort = [&] {
            for (int i = 0; i < 5; ++i) {
                if (noticedBy == u"InBufferCount") {
                    comm->InBufferCount();
                } else if (noticedBy == u"Input") {
                    comm->Input();
                } else {
                    comm->Output(QByteArray("ping"));
                }
                QThread::msleep(20);
            }
        };
        if (noticedBy == u"events") {
            QTRY_COMPARE(failed.count(), 1);
        } else {
            QVERIFY(throwsCommError(useThePort));
            QCOMPARE(failed.count(), 1);
        }
        QVERIFY(!comm->PortOpen());
        QVERIFY(!failed.first().first().toString().isEmpty());
        QVERIFY(throwsCommError([&] { comm->Output(QByteArray("x")); }));
        comm->PortOpen(false);
        QCoreApplication::processEvents();
        QCOMPARE(failed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMSComm)
#include "test_mscomm.moc"
