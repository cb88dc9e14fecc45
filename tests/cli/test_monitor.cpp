// SPDX-License-Identifier: MIT
// tessaline-cli monitor, the program itself, on a pseudo-terminal that carries a whole
// bus's traffic: the test plays the master, relays each request to one of two korvo-sim
// modules (one of them corrupting its CRCs) and puts their replies on the bus as they gave
// them. The monitor's frames, pairs and figures must match, and tshark must read its
// capture with the same function codes and CRC verdicts.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>

#include "tests/support/frames.h"
#include "tests/support/ptypair.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

// A master's end of a module's pseudo-terminal, raw at 9600 8N1.
class RawLine {
  public:
    explicit RawLine(const QString& path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY)) {
        if (fd_ < 0) {
            return;
        }
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~RawLine() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void write(const QByteArray& bytes) {
        QCOMPARE(::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())),
                 static_cast<ssize_t>(bytes.size()));
    }
    // What arrives until silenceMs pass without a byte (or limitMs in all).
    QByteArray reply(int silenceMs, int limitMs) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < limitMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, silenceMs) <= 0) {
                if (!got.isEmpty()) {
                    break;
                }
                continue;
            }
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            got.append(buffer, n);
        }
        return got;
    }

  private:
    int fd_;
};

struct Heard {
    QByteArray bytes;
    QString direction;
    bool crcOk = true;
    int answers = -1;  // the frame number of the request a reply answers
};

}  // namespace

class TestMonitor : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QList<QJsonObject> frames_;  // as the monitor printed them, for the capture slot

  private slots:
    void hearsTheBus() {
        SimProcess plain;
        SimProcess corrupting;
        RawLine module1(plain.start({"--address", "1"}));
        RawLine module2(corrupting.start({"--address", "2", "--corrupt-crc"}));
        QVERIFY(module1.isOpen() && module2.isOpen());
        PtyPair bus;

        // What the master sends, and to whom; address 3 is nobody.
        struct Step {
            RawLine* module;
            QByteArray request;
        };
        const std::vector<Step> script{
            {&module1, withCrc("01 04 00 00 00 01")},
            {&module1, withCrc("01 06 00 01 12 34")},
            {&module1, withCrc("01 10 00 00 00 02 04 48 49 20 20")},
            {&module1, withCrc("01 03 00 00 00 01")},  // not a function the module has
            {&module2, withCrc("02 04 00 00 00 01")},  // a reply with a wrong CRC
            {nullptr, withCrc("03 04 00 00 00 01")},   // nobody answers
            {&module1, withCrc("01 04 00 01 00 01")},
        };
        // Every frame that will be on the bus: each request, then its reply if one comes.
        // The module's replies are fetched first, so the count is known before listening.
        std::vector<Heard> expected;
        std::vector<QByteArray> onBus;
        for (const Step& s : script) {
            const int number = static_cast<int>(expected.size()) + 1;
            expected.push_back({s.request, QStringLiteral("request"), true, -1});
            onBus.push_back(s.request);
            if (s.module == nullptr) {
                continue;
            }
            s.module->write(s.request);
            const QByteArray reply = s.module->reply(150, 5000);
            QVERIFY2(!reply.isEmpty(), qPrintable(hexOf(s.request)));
            const bool corrupt = s.module == &module2;
            expected.push_back({reply, QStringLiteral("reply"), !corrupt, number});
            onBus.push_back(reply);
            // As the module logged it.
            QVERIFY((corrupt ? corrupting : plain).log().contains(hexOf(reply)));
        }

        const QString capture = dir_.filePath(QStringLiteral("cap.pcap"));
        QProcess monitor;
        monitor.start(QStringLiteral(TESSALINE_CLI),
                      {"monitor", "--port", bus.slavePath(), "--baud", "9600", "--format", "8N1",
                       "--json", "--frames", QString::number(expected.size()), "--pcap", capture});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += monitor.readAllStandardError()).contains("listening"),
                                 30'000);
        for (const QByteArray& frame : onBus) {
            bus.write(frame);
            QTest::qWait(30);
        }
        QVERIFY(monitor.state() == QProcess::NotRunning || monitor.waitForFinished(60'000));
        QVERIFY2(monitor.exitCode() == 0, (said + monitor.readAllStandardError()).constData());

        QJsonObject summary;
        for (const QByteArray& line : monitor.readAllStandardOutput().split('\n')) {
            if (line.isEmpty()) {
                continue;
            }
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QVERIFY2(!o.isEmpty(), line.constData());
            if (o.contains(QLatin1String("summary"))) {
                summary = o;
            } else {
                frames_ << o;
            }
        }
        QCOMPARE(frames_.size(), static_cast<qsizetype>(expected.size()));
        for (qsizetype i = 0; i < frames_.size(); ++i) {
            const QJsonObject& f = frames_[i];
            const Heard& e = expected[static_cast<std::size_t>(i)];
            QCOMPARE(f[QLatin1String("bytes")].toString(), hexOf(e.bytes));
            QCOMPARE(f[QLatin1String("direction")].toString(), e.direction);
            QCOMPARE(f[QLatin1String("crc_ok")].toBool(), e.crcOk);
            QCOMPARE(f[QLatin1String("answers")].toInt(-1), e.answers);
            QCOMPARE(f[QLatin1String("turnaround_us")].isNull(), e.answers < 0);
        }

        // Per slave: 1 answered all five (one with an exception), 2 once with a wrong CRC,
        // 3 never.
        QCOMPARE(summary[QLatin1String("bytes_written")].toInt(), 0);
        QMap<int, QJsonObject> slaves;
        for (const auto& v : summary[QLatin1String("slaves")].toArray()) {
            slaves[v[QLatin1String("address")].toInt()] = v.toObject();
        }
        QCOMPARE(slaves.keys(), (QList<int>{1, 2, 3}));
        QCOMPARE(slaves[1][QLatin1String("requests")].toInt(), 5);
        QCOMPARE(slaves[1][QLatin1String("replies")].toInt(), 5);
        QCOMPARE(slaves[1][QLatin1String("exceptions")].toObject().size(), 1);
        QVERIFY(!slaves[1][QLatin1String("turnaround_max_us")].isNull());
        QCOMPARE(slaves[2][QLatin1String("crc_errors")].toInt(), 1);
        QCOMPARE(slaves[2][QLatin1String("replies")].toInt(), 0);
        QCOMPARE(slaves[3][QLatin1String("no_reply")].toInt(), 1);
    }

    // However the listening ends, the frames heard come first and the summary last.
    void endsWithSummary_data() {
        QTest::addColumn<int>("signal");  // 0: none, the duration ends it; -1: the line goes
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("Ctrl+C") << int(SIGINT) << QStringList{} << 0;
        QTest::newRow("SIGTERM") << int(SIGTERM) << QStringList{} << 0;
        QTest::newRow("duration") << 0 << QStringList{"--duration", "3"} << 0;
        QTest::newRow("the line goes away") << -1 << QStringList{} << 3;
    }
    void endsWithSummary() {
        QFETCH(int, signal);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        PtyPair bus;
        // The program must not inherit the far end, or closing it here would not hang up.
        ::fcntl(bus.masterFd(), F_SETFD, FD_CLOEXEC);
        QProcess monitor;
        monitor.start(QStringLiteral(TESSALINE_CLI),
                      QStringList{"monitor", "--port", bus.slavePath(), "--baud", "9600",
                                  "--format", "8N1", "--json"} +
                          args);
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += monitor.readAllStandardError()).contains("listening"),
                                 30'000);
        bus.write(withCrc("01 04 00 00 00 01") + withCrc("01 04 02 00 0A"));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += monitor.readAllStandardOutput()).count('\n') >= 2, 30'000);
        if (signal > 0) {
            ::kill(static_cast<pid_t>(monitor.processId()), signal);
        } else if (signal < 0) {
            bus.closeMaster();
        }
        QVERIFY(monitor.waitForFinished(60'000));
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), status);
        out += monitor.readAllStandardOutput();
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QJsonObject summary = QJsonDocument::fromJson(lines.back()).object();
        QVERIFY(summary[QLatin1String("summary")].toBool());
        QCOMPARE(summary[QLatin1String("frames")].toInt(), 2);
    }

    // tshark reads the capture and finds the same frames, function codes and CRC verdicts.
    void captureDecodes() {
        if (frames_.isEmpty()) {
            QSKIP("no capture: the bus test before this one failed");
        }
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty()) {
            QSKIP("tshark is not installed (scripts/deps installs it)");
        }
        QProcess p;
        p.start(tshark, {"-r", dir_.filePath(QStringLiteral("cap.pcap")), "-o",
                         R"uat(uat:user_dlts:"User 0 (DLT=147)","mbrtu","0","","0","")uat", "-o",
                         "mbrtu.crc_verification:TRUE", "-T", "fields", "-e", "mbrtu.unit_id", "-e",
                         "modbus.func_code", "-e", "mbrtu.crc16.status"});
        QVERIFY(p.waitForFinished(120'000));
        QCOMPARE(p.exitCode(), 0);
        QStringList decoded = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n');
        decoded.removeAll(QString());
        QCOMPARE(decoded.size(), frames_.size());
        for (qsizetype i = 0; i < frames_.size(); ++i) {
            const QStringList fields = decoded[i].split(u'\t');
            QCOMPARE(fields.size(), 3);
            const QJsonObject& f = frames_[i];
            QCOMPARE(fields[0].toInt(), f[QLatin1String("address")].toInt());
            // tshark names an exception by the function it answers.
            QCOMPARE(fields[1].toInt(), f[QLatin1String("function")].toInt() & 0x7F);
            // 1 is a good checksum, 0 a bad one.
            QCOMPARE(fields[2], f[QLatin1String("crc_ok")].toBool() ? QStringLiteral("1")
                                                                    : QStringLiteral("0"));
        }
    }
};

QTEST_GUILESS_MAIN(TestMonitor)
#include "test_monitor.moc"
