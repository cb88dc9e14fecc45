// SPDX-License-Identifier: MIT
// Thousands of exchanges through the main window against korvo-sim, in batches of one
// module each with a random line and fault, spread over worker copies of this program so
// that the waits overlap. Every reply line must be the one the fault calls for, the window
// must keep handling events through every wait, and memory must level off.
//
//   TESSALINE_SOAK_EXCHANGES  exchanges in all (default 2000)
//   TESSALINE_SOAK_WORKERS    worker processes (default 6)
//   TESSALINE_SOAK_SEED       repeats a run; the seed is printed with the summary
//
// A worker prints one fact a line: "outcome FAULT: REPLY N", "problem TEXT",
// "rss WARM END" (resident bytes after its first batch and at the end), "done N".

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/frmMain.h"
#include "tests/app/soakmodel.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"
#include "widgets/messagebox.h"

using namespace testsupport;

namespace {

using namespace soak;

constexpr auto kWorkerOption = "--soak-worker";
constexpr long long kAllowedGrowth = 8LL * 1024 * 1024;
// One exchange in this many starts with a reconnect, which must leave nothing waiting.
constexpr int kReconnectOdds = 25;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

long long residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    const QList<QByteArray> fields =
        f.open(QIODevice::ReadOnly) ? f.readAll().split(' ') : QList<QByteArray>{};
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// Counts, in korvo-sim's log, the requests it has taken and the answers it has written.
class ModuleLog {
  public:
    // Waits until the module has taken this many more requests and written this many more
    // answers; the bound only ends a wait for a module that is stuck, so it is generous.
    bool settle(SimProcess& sim, int requests, int answers) {
        requestsOwed_ += requests;
        answersOwed_ += answers;
        const QDeadlineTimer deadline(20000);
        for (;;) {
            const QString log = sim.log();
            for (qsizetype end; (end = log.indexOf('\n', scanned_)) >= 0; scanned_ = end + 1) {
                const QStringList f = log.mid(scanned_, end - scanned_).split(' ');
                requests_ += f.size() > 2 && f[1] == u"rx";
                answers_ += f.size() > 2 && f[1] == u"tx" && f[2] != u"failed:";
            }
            if (requests_ >= requestsOwed_ && answers_ >= answersOwed_) {
                return true;
            }
            if (deadline.hasExpired()) {
                return false;
            }
            QThread::msleep(1);
        }
    }

  private:
    qsizetype scanned_ = 0;
    int requests_ = 0, answers_ = 0, requestsOwed_ = 0, answersOwed_ = 0;
};

class Worker {
  public:
    explicit Worker(int index, int workers, quint64 seed, int exchanges, int batchSize)
        : index_(index),
          workers_(workers),
          seed_(seed),
          exchanges_(exchanges),
          batchSize_(batchSize) {
        ui::messageHook = [](QWidget*, const QString& text, QMessageBox::Icon) {
            std::printf("problem message box \"%s\"\n", qPrintable(text));
        };
        link_ = ini_.path() + QStringLiteral("/korvo.tty");
        ini_.write("[Settings]\r\nCommPort=5\r\n[LCD]\r\nModule=2004\r\n[Ports]\r\n5=" +
                   link_.toLocal8Bit() + "\r\n");
        window_ = std::make_unique<frmMain>();  // reads the modlcd.ini just written
        window_->show();
        // Counts while the window waits: a stuck event loop would leave it standing.
        QObject::connect(&heartbeat_, &QTimer::timeout, [this] { ++beats_; });
        heartbeat_.start(5);
    }

    int run() {
        const int batches = (exchanges_ + batchSize_ - 1) / batchSize_;
        long long warm = 0;
        for (int b = index_; b < batches; b += workers_) {
            runBatch(b, std::min(batchSize_, exchanges_ - b * batchSize_));
            warm = warm == 0 ? residentBytes() : warm;
        }
        for (auto it = outcomes_.cbegin(); it != outcomes_.cend(); ++it) {
            std::printf("outcome %s %d\n", qPrintable(it.key()), it.value());
        }
        std::printf("rss %lld %lld\ndone %d\n", warm, residentBytes(), done_);
        return 0;
    }

  private:
    void problem(const QString& text) { std::printf("problem %s\n", qPrintable(text)); }

    // Disconnects when connected, then connects: the port opens with nothing waiting.
    bool reconnect(QByteArray& waiting) {
        if (window_->cmdConnect->text() == u"Disconnect") {
            window_->cmdConnect->click();
        }
        waiting.clear();
        window_->cmdConnect->click();
        return window_->cmdConnect->text() == u"Disconnect";
    }

    void runBatch(int index, int count) {
        Draw draw(seed_, index);
        const Batch batch = draw.batch();
        SimProcess sim;
        try {
            sim.start(batch.simArgs() + QStringList{QStringLiteral("--link"), link_});
        } catch (const std::exception& e) {
            return problem(QStringLiteral("batch %1: korvo-sim did not start: %2")
                               .arg(index)
                               .arg(QString::fromLocal8Bit(e.what())));
        }
        const std::array<QRadioButton*, 3> bauds{window_->opt9600, window_->opt19200,
                                                 window_->opt38400};
        bauds[static_cast<std::size_t>(batch.baud / 19200)]->click();
        window_->cboDF->setCurrentIndex(window_->cboDF->findText(batch.format));
        window_->cboSlaveID->setCurrentIndex(batch.address - 1);
        ModuleLog module;
        QByteArray waiting;  // what the port's receive buffer holds between exchanges
        bool afresh = true;  // at the start, and after a mismatch left the buffer unknown
        for (int k = 0; k < count; ++k) {
            const QString what =
                QStringLiteral("batch %1 #%2 under %3").arg(index).arg(k).arg(batch.faultText());
            if ((afresh || draw.between(1, kReconnectOdds) == 1) && !reconnect(waiting)) {
                return problem(what + QStringLiteral(": could not connect"));
            }
            afresh = !exchange(draw.exchange(batch), what, batch, waiting, sim, module);
        }
        window_->cmdConnect->click();
        if (const int status = sim.stop(); status != 0) {
            problem(QStringLiteral("batch %1: korvo-sim ended with %2: %3")
                        .arg(index)
                        .arg(status)
                        .arg(sim.errors()));
        }
    }

    QPushButton* prepare(const Exchange& x) {
        switch (x.command) {
            case Command::Read04:
                window_->cboAddr04->setCurrentIndex(x.position);
                return window_->cmdSend04;
            case Command::Coil05:
                window_->cboAddr05->setCurrentIndex(x.position);
                window_->cboData05->setCurrentIndex(x.coilOn ? 1 : 0);
                return window_->cmdSend05;
            case Command::Register06:
                window_->cboAddr06->setCurrentIndex(x.position);
                window_->cboDataH06->setCurrentIndex(x.high);
                window_->cboDataL06->setCurrentIndex(x.low);
                return window_->cmdSend06;
            case Command::Message16:
                window_->cboAddr16->setCurrentIndex(x.position);
                window_->txtMessage->setText(QString::fromLatin1(x.message));
                return window_->cmdSend16;
        }
        return nullptr;
    }

    // One click and its checks; false after a mismatch.
    bool exchange(const Exchange& x, const QString& what, const Batch& batch, QByteArray& waiting,
                  SimProcess& sim, ModuleLog& module) {
        const int beatsBefore = beats_;
        prepare(x)->click();
        const int leftAtEnd = window_->MSComm1.InBufferCount();
        ++done_;
        if (beats_ == beatsBefore) {
            problem(what + QStringLiteral(": the window stood still during the wait"));
        }
        const QByteArray stream = lineBytes(x, batch);
        if (!module.settle(sim, 1, stream.isEmpty() ? 0 : 1)) {
            problem(what + QStringLiteral(": korvo-sim did not take the request"));
            return false;
        }
        // Compared once the module has said all it will.
        const int left = window_->MSComm1.InBufferCount();
        const QString shown = window_->lblRxData->text();
        const QString sent = window_->lblTxData->text();
        QByteArray after = waiting + stream;
        const QString expected = expectedReply(after, x.replyLength());
        const QString key = batch.faultText().section(' ', 0, 0) + QStringLiteral(": ");
        if (sent == spaced(x.request) && shown == expected && left == after.size()) {
            ++outcomes_[key +
                        (expected == spaced(x.goodReply) ? QStringLiteral("good") : expected)];
            waiting = after;
            if (x.command == Command::Read04 && shown == spaced(x.goodReply)) {
                checkRegister(x.position, batch.inputRegisters[std::size_t(x.position)], what);
            }
            return true;
        }
        // A busy machine may hold the module up past the end of the wait: then the window
        // saw only part of the bytes, and the rest came after it had finished. Not the
        // window's fault; the reconnect that follows starts afresh.
        const bool sawTooLittle =
            shown == u"No Response from LCD" || shown == u"Incomplete Frame" || shown == u"CRC Err";
        if (sent == spaced(x.request) && sawTooLittle && left > leftAtEnd &&
            left <= waiting.size() + stream.size()) {
            ++outcomes_[key + QStringLiteral("late (the module answered after the wait)")];
            return false;
        }
        problem(QStringLiteral("%1: sent \"%2\" (meant \"%3\"), reply line \"%4\" (meant \"%5\"), "
                               "%6 bytes left (meant %7)")
                    .arg(what, sent, spaced(x.request), shown, expected)
                    .arg(left)
                    .arg(after.size()));
        return false;
    }

    void checkRegister(int position, int value, const QString& what) {
        const QString label =
            position == 0 ? QString::number(value & 0xFF, 16).toUpper() : QString::number(value);
        const QString shown = window_->lblReg3x[std::size_t(position)]->text();
        if (shown != label) {
            problem(what + QStringLiteral(": register %1 shows \"%2\", holds %3")
                               .arg(30001 + position)
                               .arg(shown)
                               .arg(value));
        }
    }

    int index_, workers_;
    quint64 seed_;
    int exchanges_, batchSize_;
    IniFolder ini_;  // before the window, which reads the modlcd.ini it points at
    QString link_;
    std::unique_ptr<frmMain> window_;
    QTimer heartbeat_;
    int beats_ = 0;
    int done_ = 0;
    QMap<QString, int> outcomes_;
};

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT
  private slots:
    void exchangesUnderRandomFaults() {
        const int exchanges = envNumber("TESSALINE_SOAK_EXCHANGES", 2000);
        const int workers = std::min(envNumber("TESSALINE_SOAK_WORKERS", 6), exchanges);
        const auto seed = static_cast<quint64>(
            envNumber("TESSALINE_SOAK_SEED",
                      static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 1000000007)));
        // At least two batches per worker, so that memory is compared across batches.
        const int batchSize = std::clamp(exchanges / (2 * workers), 1, 50);
        qInfo("soak: %d exchanges, %d workers, batches of %d, seed %llu (TESSALINE_SOAK_SEED)",
              exchanges, workers, batchSize, static_cast<unsigned long long>(seed));

        std::vector<std::unique_ptr<QProcess>> running;
        for (int i = 0; i < workers; ++i) {
            running.push_back(std::make_unique<QProcess>());
            running.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            running.back()->start(
                QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kWorkerOption), QString::number(i), QString::number(workers),
                 QString::number(seed), QString::number(exchanges), QString::number(batchSize)});
        }
        int done = 0;
        long long worstGrowth = 0;
        QStringList problems;
        QMap<QString, int> outcomes;
        for (const auto& p : running) {
            QVERIFY2(p->waitForFinished(240000), "a soak worker did not finish");
            const QByteArray out = p->readAllStandardOutput();
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                     out.constData());
            for (const QString& line : QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts)) {
                const QStringList f = line.split(' ');
                if (f[0] == u"outcome") {
                    outcomes[line.section(' ', 1, -2)] += f.last().toInt();
                } else if (f[0] == u"rss" && f.size() == 3) {
                    worstGrowth = std::max(worstGrowth, f[2].toLongLong() - f[1].toLongLong());
                } else if (f[0] == u"done") {
                    done += f.value(1).toInt();
                } else {
                    problems << line;
                }
            }
        }
        QStringList counted;
        for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it) {
            counted << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        }
        qInfo("soak: %d exchanges; %s; worst RSS growth %.1f MB", done,
              qPrintable(counted.join(QStringLiteral(", "))),
              static_cast<double>(worstGrowth) / (1024.0 * 1024.0));

        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QCOMPARE(done, exchanges);
        if (kAddressSanitizer) {
            // The sanitizer holds freed memory back on purpose; its leak check stands in.
            qInfo("soak: RSS growth not judged under AddressSanitizer");
        } else {
            QVERIFY2(worstGrowth < kAllowedGrowth,
                     qPrintable(QStringLiteral("a worker grew by %1 bytes").arg(worstGrowth)));
        }
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 7 && args[1] == QLatin1String(kWorkerOption)) {
        Worker worker(args[2].toInt(), args[3].toInt(), args[4].toULongLong(), args[5].toInt(),
                      args[6].toInt());
        return worker.run();
    }
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_soak.moc"
