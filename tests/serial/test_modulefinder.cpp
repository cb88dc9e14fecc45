// SPDX-License-Identifier: MIT
// The finder's runner against a scripted module on a pseudo-terminal. The module reads the
// speed and stop bits the finder has set on the line, as a real one would only understand
// its own; parity does not show on a pty, so the rows tell formats apart by stop bits.

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "serial/modulefinder.h"
#include "serial/mscomm.h"
#include "tests/support/frames.h"
#include "tests/support/ptypair.h"

using namespace testsupport;

using finder::Format;
using finder::Probe;

namespace {

// Far more turnaround than a module needs, so that a loaded test machine cannot make a
// probe end before its answer is in; the finder's speed is measured in the benchmark.
constexpr finder::Micros Slack{50'000};

enum class Reply { Good, Exception, CorruptCrc, Foreign, None };

struct Module {
    int address = 1;
    speed_t speed = B9600;
    bool twoStopBits = false;
    Reply reply = Reply::Good;
    bool echo = false;
    int delayMs = 0;
};

// The far end of the line: takes each 8-byte request and answers as the module would.
class ScriptedModule : public QObject {
  public:
    ScriptedModule(PtyPair& pty, const Module& m)
        : pty_(pty), module_(m), notifier_(pty.masterFd(), QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { read(); });
    }

  private:
    void read() {
        char buf[256];
        for (ssize_t n; (n = ::read(pty_.masterFd(), buf, sizeof buf)) > 0;) {
            pending_.append(buf, n);
        }
        while (pending_.size() >= 8) {
            answer(pending_.left(8));
            pending_.remove(0, 8);
        }
    }

    // An echo comes first, and as late as the reply.
    void answer(const QByteArray& request) {
        const QByteArray echo = module_.echo ? request : QByteArray();
        termios tio{};
        ::tcgetattr(pty_.slaveFd(), &tio);
        const bool heard =
            cfgetospeed(&tio) == module_.speed && bool(tio.c_cflag & CSTOPB) == module_.twoStopBits;
        const bool mine = request[0] == char(module_.address);
        QByteArray reply;
        switch (module_.reply) {
            case Reply::Good:
                reply = mine ? withCrc(QByteArray(request.left(2) + fromHex("02 00 0A"))) : "";
                break;
            case Reply::Exception:
                reply = mine ? withCrc(QByteArray(request.left(1) + fromHex("84 02"))) : "";
                break;
            case Reply::CorruptCrc:
                reply = mine ? QByteArray(request.left(2) + fromHex("02 00 0A 00 00")) : "";
                break;
            case Reply::Foreign:
                reply = withCrc("09 04 02 00 0A");
                break;
            case Reply::None:
                break;
        }
        const QByteArray out = echo + (heard ? reply : QByteArray());
        if (module_.delayMs > 0) {
            QTimer::singleShot(module_.delayMs, this, [this, out] { pty_.write(out); });
        } else {
            pty_.write(out);
        }
    }

    PtyPair& pty_;
    Module module_;
    QSocketNotifier notifier_;
    QByteArray pending_;
};

finder::Summary run(serial::ModuleFinder& f, std::vector<Probe> plan,
                    const serial::ModuleFinder::Options& o,
                    const std::function<void(const finder::Progress&)>& onProgress = {}) {
    finder::Summary out;
    QEventLoop loop;
    QObject::connect(&f, &serial::ModuleFinder::finished, &loop, [&](const finder::Summary& s) {
        out = s;
        loop.quit();
    });
    if (onProgress) {
        QObject::connect(&f, &serial::ModuleFinder::progress, &loop, onProgress);
    }
    QTimer::singleShot(30'000, &loop, [&] {
        out.error = QStringLiteral("test timed out");
        loop.quit();
    });
    f.start(std::move(plan), o);
    loop.exec();
    return out;
}

}  // namespace

Q_DECLARE_METATYPE(Module)
Q_DECLARE_METATYPE(std::optional<finder::Probe>)

class TestModuleFinder : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<MSComm> port_;

  private slots:
    void init() {
        pty_ = std::make_unique<PtyPair>();
        port_ = std::make_unique<MSComm>([path = pty_->slavePath()](int) { return path; });
    }
    void cleanup() {
        port_.reset();
        pty_.reset();
    }

    void search_data() {
        QTest::addColumn<Module>("module");
        QTest::addColumn<std::optional<Probe>>("first");
        QTest::addColumn<int>("last");  // of the address range from 1
        QTest::addColumn<bool>("wholeBus");
        QTest::addColumn<std::optional<Probe>>("found");
        QTest::addColumn<QList<int>>("unreadable");  // addresses
        // Probes sent after the find; -1: all. A late answer is read during the next probe,
        // or, on a busy machine, before it goes out or even by its own probe: 1 allows
        // each, as long as the answer is credited to the probe it answers.
        QTest::addColumn<int>("afterFind");
        QTest::addColumn<bool>("echo");
        using P = std::optional<Probe>;
        const Probe at37{{19200, Format::N82}, 37};
        const Probe factory{finder::FactoryLine, 1};
        QTest::newRow("found first try") << Module{37, B19200, true} << P(at37) << 247 << false
                                         << P(at37) << QList<int>{} << 0 << false;
        QTest::newRow("found after every other line")
            << Module{3, B38400, true} << P() << 3 << false << P({{38400, Format::N82}, 3})
            << QList<int>{} << 0 << false;
        QTest::newRow("exception answer")
            << Module{1, B9600, false, Reply::Exception} << P(at37) << 247 << false << P(factory)
            << QList<int>{} << 0 << false;
        QTest::newRow("echo, then the answer")
            << Module{1, B9600, false, Reply::Good, true} << P() << 3 << false << P(factory)
            << QList<int>{} << 0 << true;
        QTest::newRow("echo and no module") << Module{0, B9600, false, Reply::None, true} << P()
                                            << 3 << false << P() << QList<int>{} << -1 << true;
        QTest::newRow("corrupt reply") << Module{2, B9600, true, Reply::CorruptCrc} << P() << 3
                                       << false << P() << QList<int>{2} << -1 << false;
        QTest::newRow("foreign address") << Module{0, B19200, true, Reply::Foreign} << P() << 2
                                         << false << P() << QList<int>{1, 2} << -1 << false;
        QTest::newRow("whole bus goes on after a find")
            << Module{2, B9600, true} << P() << 3 << true << P({{9600, Format::N82}, 2})
            << QList<int>{} << -1 << false;
        // Read during the next probe, the answer is still credited to the probe it answers.
        QTest::newRow("late answer")
            << Module{3, B19200, true, Reply::Good, false, 80} << P() << 3 << false
            << P({{19200, Format::N82}, 3}) << QList<int>{} << 1 << false;
        // An echo that comes after its probe has ended is still that probe's, and so is the
        // answer behind it: no other address is credited with either.
        QTest::newRow("late echo and no module")
            << Module{0, B9600, false, Reply::None, true, 80} << P() << 3 << false << P()
            << QList<int>{} << -1 << true;
        QTest::newRow("late echo, then the answer")
            << Module{2, B9600, true, Reply::Good, true, 80} << P() << 3 << false
            << P({{9600, Format::N82}, 2}) << QList<int>{} << 1 << true;
        QTest::newRow("late echo, then a corrupt answer")
            << Module{2, B9600, true, Reply::CorruptCrc, true, 80} << P() << 3 << false << P()
            << QList<int>{2} << -1 << true;
    }
    void search() {
        QFETCH(Module, module);
        QFETCH(std::optional<Probe>, first);
        QFETCH(int, last);
        QFETCH(bool, wholeBus);
        QFETCH(std::optional<Probe>, found);
        QFETCH(QList<int>, unreadable);
        QFETCH(int, afterFind);
        QFETCH(bool, echo);

        ScriptedModule peer(*pty_, module);
        serial::ModuleFinder f(*port_);
        const auto plan = finder::plan({1, last}, first);
        const auto s = run(f, plan, {.allowance = Slack, .wholeBus = wholeBus});
        QCOMPARE(s.error, QString());
        QCOMPARE(s.found.size(), found ? 1U : 0U);
        if (found) {
            QVERIFY(s.found[0].probe == *found);
            QVERIFY(!s.found[0].late || afterFind == 1);
        }
        QList<int> seen;
        for (const auto& a : s.unreadable) {
            seen << a.probe.address;
        }
        QCOMPARE(seen, unreadable);
        const auto at = found ? std::find(plan.begin(), plan.end(), *found) + 1 : plan.end();
        const int upToFind = static_cast<int>(at - plan.begin());
        if (afterFind == 1) {
            QVERIFY2(s.probes == upToFind || s.probes == upToFind + 1,
                     qPrintable(QString::number(s.probes)));
        } else {
            QCOMPARE(s.probes, afterFind < 0 ? s.total : upToFind + afterFind);
        }
        QCOMPARE(s.echoSeen, echo);
        QVERIFY(!port_->PortOpen());
    }

    // Cancelling from the progress report sends no further probe; the port is free again.
    void cancel() {
        ScriptedModule peer(*pty_, Module{0});
        serial::ModuleFinder f(*port_);
        const auto s = run(f, finder::plan({}, std::nullopt), {.allowance = Slack},
                           [&f](const finder::Progress& p) {
                               if (p.done == 3) {
                                   f.cancel();
                               }
                           });
        QVERIFY(s.cancelled);
        QCOMPARE(s.probes, 3);
        QCOMPARE(s.total, 2223);
        port_->PortOpen(true);
        QVERIFY(port_->PortOpen());
    }

    // An open port (a configuration window's, at the upload settings) probes at the module's
    // new settings after the start delay and is left as it was.
    void openPortKeepsItsSettings() {
        ScriptedModule peer(*pty_, Module{37, B38400, true});
        port_->Settings(QStringLiteral("9600,n,8,1"));
        port_->PortOpen(true);
        serial::ModuleFinder f(*port_);
        const Probe target{{38400, Format::N82}, 37};
        const auto s =
            run(f, {target}, {.allowance = Slack, .startDelay = std::chrono::milliseconds(20)});
        QCOMPARE(s.found.size(), 1U);
        QVERIFY(port_->PortOpen());
        QCOMPARE(port_->Settings(), QStringLiteral("9600,n,8,1"));
        termios tio{};
        ::tcgetattr(pty_->slaveFd(), &tio);
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        QVERIFY(!(tio.c_cflag & CSTOPB));
    }

    void missingPort() {
        MSComm nowhere([](int) { return QStringLiteral("/dev/nonexistent-tty"); });
        serial::ModuleFinder f(nowhere);
        const auto s = run(f, finder::plan({}, std::nullopt), {});
        QVERIFY(s.error.contains(QLatin1String("nonexistent")));
        QCOMPARE(s.probes, 0);
    }
};

QTEST_MAIN(TestModuleFinder)
#include "test_modulefinder.moc"
