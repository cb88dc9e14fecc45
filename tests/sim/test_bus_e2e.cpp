// SPDX-License-Identifier: MIT
// korvo-bus end to end: real pseudo-terminals, korvo-sim modules at two addresses on one
// line, mbpoll as a third-party master, and a node that only listens.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include "tests/support/frames.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

// A node opened by the test that only reads: what any listener on the line would hear.
class Listener {
  public:
    explicit Listener(const QString& path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK)) {}
    ~Listener() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    // Everything heard since it was opened.
    QByteArray heard() {
        std::array<char, 4096> buf{};
        for (;;) {
            const ssize_t n = ::read(fd_, buf.data(), buf.size());
            if (n <= 0) {
                return heard_;
            }
            heard_.append(buf.data(), n);
        }
    }

  private:
    int fd_;
    QByteArray heard_;
};

// What one run of mbpoll -v says it sent ([01][04]...) and received (<01><04>...).
struct Said {
    QStringList sent;
    QStringList received;
};

Said parseMbpoll(const QString& out) {
    Said s;
    static const QRegularExpression frame(R"(^(?:\[[0-9A-F]{2}\])+\s*$|^(?:<[0-9A-F]{2}>)+\s*$)");
    for (const QString& line : out.split('\n')) {
        if (!frame.match(line).hasMatch()) {
            continue;
        }
        QString bytes = line.trimmed();
        bytes.remove(QRegularExpression(R"([\[<])"));
        bytes.replace(QRegularExpression(R"([\]>])"), " ");
        (line.startsWith('[') ? s.sent : s.received) << bytes.trimmed();
    }
    return s;
}

// Lines of a korvo log that start with `prefix` after the time stamp, without the prefix.
QStringList logged(const QString& log, const QString& prefix) {
    QStringList out;
    const QRegularExpression re("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} " +
                                QRegularExpression::escape(prefix) + "(.*)$");
    for (const QString& line : log.split('\n')) {
        if (const auto m = re.match(line); m.hasMatch()) {
            out << m.captured(1);
        }
    }
    return out;
}

}  // namespace

class TestBusE2e : public QObject {
    Q_OBJECT

  private slots:
    void badOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("one node") << QStringList{"--nodes", "1"} << "--nodes takes 2..16";
        QTest::newRow("speed") << QStringList{"--baud", "4800"} << "--baud takes 9600";
        QTest::newRow("format") << QStringList{"--format", "7E1"} << "--format takes 8N1";
        QTest::newRow("echo beyond the nodes")
            << QStringList{"--nodes", "3", "--echo", "4"} << "there are only 3 nodes";
        QTest::newRow("unknown") << QStringList{"--loud"} << "unknown option --loud";
    }
    void badOptions() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess p;
        p.start(SimProcess::busProgram(), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(p.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
    }

    // mbpoll polls two modules through functions 04, 06, 16 and an exception. Every frame
    // reaches every other node byte for byte, each module answers only its own address, and
    // nothing collides.
    void mbpollPollsTwoModules() {
        const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
        if (mbpoll.isEmpty()) {
            QSKIP("mbpoll is not installed (scripts/deps installs it)");
        }
        SimProcess bus(SimProcess::busProgram());
        const QStringList nodes = bus.start({"--nodes", "4"}).split(' ');
        QCOMPARE(nodes.size(), 4);
        SimProcess one;
        SimProcess five;
        // The bus paces; korvo-sim's own pacing would only add pauses inside a reply when
        // this machine holds it up.
        one.start({"--device", nodes[1], "--address", "1", "--no-pace"});
        five.start(
            {"--device", nodes[2], "--address", "5", "--no-pace", "--input-registers", "11,22,33"});
        Listener listener(nodes[3]);
        QVERIFY(listener.isOpen());
        QVERIFY(bus.waitForLog("node 2: a master opened", 10000));
        QVERIFY(bus.waitForLog("node 3: a master opened", 10000));
        QVERIFY(bus.waitForLog("node 4: a master opened", 10000));

        struct Run {
            QStringList args;
            int slave;
        };
        const QList<Run> runs{
            {{"-a", "1", "-t", "3", "-r", "1", "-c", "3", nodes[0]}, 1},
            {{"-a", "5", "-t", "3", "-r", "1", "-c", "3", nodes[0]}, 5},
            {{"-a", "5", "-t", "4", "-r", "1", nodes[0], "16706"}, 5},
            {{"-a", "1", "-t", "4", "-r", "1", nodes[0], "16706", "17220"}, 1},
            {{"-a", "1", "-t", "3", "-r", "10", nodes[0]}, 1},  // outside the map: exception 02
        };
        QStringList wire;  // every frame in the order it was on the line
        QStringList repliesOf1;
        QStringList repliesOf5;
        for (const Run& run : runs) {
            QProcess p;
            p.start(mbpoll,
                    QStringList{"-m", "rtu", "-b", "9600", "-P", "none", "-o", "5", "-1", "-v"} +
                        run.args);
            QVERIFY(p.waitForFinished(30000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            const Said said = parseMbpoll(out);
            if (said.sent.size() != 1 || said.received.size() != 1) {
                qWarning().noquote() << out << one.log() << five.log() << bus.log();
            }
            QCOMPARE(said.sent.size(), 1);
            QCOMPARE(said.received.size(), 1);
            wire << said.sent << said.received;
            (run.slave == 1 ? repliesOf1 : repliesOf5) << said.received;
        }
        QCOMPARE(wire.mid(8), QStringList({"01 04 00 09 00 01 E1 C8", "01 84 02 C2 C1"}));

        // What the listener heard is every frame back to back.
        QTRY_COMPARE_WITH_TIMEOUT(hexOf(listener.heard()), wire.join(' '), 10000);

        // Each module sent exactly its own replies as mbpoll received them, and heard every
        // other frame, the other module's replies included, without answering them.
        QCOMPARE(logged(one.log(), "tx "), repliesOf1);
        QCOMPARE(logged(five.log(), "tx "), repliesOf5);
        // Byte for byte: a module frames by silence alone, so a reply paced out while this
        // machine is busy may reach the other module in two pieces; the bytes are the same.
        QStringList heardBy1 = wire;
        QStringList heardBy5 = wire;
        for (const QString& r : repliesOf1) {
            heardBy1.removeAt(heardBy1.lastIndexOf(r));
        }
        for (const QString& r : repliesOf5) {
            heardBy5.removeAt(heardBy5.lastIndexOf(r));
        }
        QTRY_COMPARE_WITH_TIMEOUT(logged(one.log(), "rx ").join(' '), heardBy1.join(' '), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(logged(five.log(), "rx ").join(' '), heardBy5.join(' '), 10000);
        QCOMPARE(one.stop(), 0);
        QCOMPARE(five.stop(), 0);
        QCOMPARE(bus.stop(), 0);
        QVERIFY(one.log().contains("frame for slave 5, this module is 1: ignored"));
        QVERIFY(five.log().contains("frame for slave 1, this module is 5: ignored"));

        // The bus saw the same frames, each from its sender, and no collision. A reply that
        // korvo-sim was held up in the middle of is two bursts on the bus; they are joined.
        QStringList sentOnBus;
        QString lastSender;
        for (const QString& s : logged(bus.log(), "node ")) {
            const qsizetype at = s.indexOf(" sent ");
            if (at < 0) {
                continue;
            }
            if (s.left(at) == lastSender) {
                sentOnBus.last() += s.mid(at + 5);
            } else {
                sentOnBus << s;
            }
            lastSender = s.left(at);
        }
        QStringList expected;
        for (qsizetype i = 0; i < wire.size(); ++i) {
            const int sender = i % 2 == 0 ? 1 : (repliesOf1.contains(wire[i]) ? 2 : 3);
            expected << QString("%1 sent %2").arg(sender).arg(wire[i]);
        }
        QCOMPARE(sentOnBus, expected);
        QVERIFY2(bus.log().contains("; collisions 0 ("), qPrintable(bus.log()));
    }

    // Two nodes that write at once collide: the bus says so and counts it, and the third
    // node hears the garbled line.
    void twoWritersCollide() {
        SimProcess bus(SimProcess::busProgram());
        const QStringList nodes = bus.start({"--nodes", "3"}).split(' ');
        QCOMPARE(nodes.size(), 3);
        const auto openRaw = [](const QString& path) {
            return ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        };
        const int a = openRaw(nodes[0]);
        const int b = openRaw(nodes[1]);
        Listener listener(nodes[2]);
        QVERIFY(a >= 0 && b >= 0 && listener.isOpen());
        QVERIFY(bus.waitForLog("node 3: a master opened", 10000));
        // 256 characters are over a quarter of a second on the line at 9600: the second
        // write lands while the first is still going out, unless this test was held up for
        // that long, which a few tries outlast.
        const QByteArray burst(256, '\x55');
        bool collided = false;
        for (int attempt = 0; attempt < 5 && !collided; ++attempt) {
            QCOMPARE(::write(a, burst.constData(), burst.size()), burst.size());
            QCOMPARE(::write(b, burst.constData(), burst.size()), burst.size());
            collided = bus.waitForLog("collision #1: nodes 1 and 2 on the line", 5000);
        }
        QVERIFY2(collided, qPrintable(bus.log()));
        // Once both bursts are off the line the summary counts what was garbled.
        QVERIFY(bus.waitForLog("node 1 sent", 20000));
        QVERIFY(bus.waitForLog("node 2 sent", 20000));
        ::close(a);
        ::close(b);
        QCOMPARE(bus.stop(), 0);
        const QStringList summary = logged(bus.log(), "carried ");
        QCOMPARE(summary.size(), 1);
        QVERIFY2(summary[0].contains(QRegularExpression(
                     R"(; collisions [1-9]\d* \([1-9]\d* characters garbled\))")),
                 qPrintable(summary[0]));
    }
};

QTEST_GUILESS_MAIN(TestBusE2e)
#include "test_bus_e2e.moc"
