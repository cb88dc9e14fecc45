#include "soakworker.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "frmMain.h"
#include "inifolder.h"
#include "messagebox.h"
#include "simprocess.h"
#include "soakmodel.h"

namespace soak {

namespace {

constexpr int kMismatchLinesShown = 20;
// One exchange in this many starts with a reconnect, which must leave nothing waiting.
constexpr int kReconnectOdds = 25;

long long residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

// Message boxes the window would have shown; none is expected during the run.
QStringList& shownMessages() {
    static QStringList messages;
    return messages;
}

void recordMessages() {
    ui::messageHook = [](QWidget*, const QString& text, QMessageBox::Icon) {
        shownMessages() << text;
    };
}

QString registerLabel(int position, int value) {
    return position == 0 ? QString::number(value & 0xFF, 16).toUpper() : QString::number(value);
}

// Follows korvo-sim's log: the requests it has taken and the answers it has written.
class ModuleLog {
  public:
    // Waits until the module has taken this many more requests and written this many more
    // answers; false when it has not within a few seconds.
    bool settle(SimProcess& sim, int requests, int answers) {
        requestsOwed_ += requests;
        answersOwed_ += answers;
        QDeadlineTimer deadline(kSettleMs);
        for (;;) {
            read(sim.log());
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
    static constexpr int kSettleMs = 5000;

    void read(const QString& log) {
        for (qsizetype end = log.indexOf('\n', scanned_); end >= 0;
             end = log.indexOf('\n', scanned_)) {
            const QStringList fields = log.mid(scanned_, end - scanned_).split(' ');
            scanned_ = end + 1;
            if (fields.size() < 3) {
                continue;
            }
            if (fields[1] == QLatin1String("rx")) {
                ++requests_;
            } else if (fields[1] == QLatin1String("tx") && fields[2] != QLatin1String("failed:")) {
                ++answers_;
            }
        }
    }

    qsizetype scanned_ = 0;
    int requests_ = 0;
    int answers_ = 0;
    int requestsOwed_ = 0;
    int answersOwed_ = 0;
};

class Worker {
  public:
    explicit Worker(const WorkerPlan& plan) : plan_(plan) {
        recordMessages();
        link_ = ini_.path() + QStringLiteral("/korvo.tty");
        ini_.write(
            "[Settings]\r\nCommPort=5\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
            "Module=2004\r\n[Ports]\r\n5=" +
            link_.toLocal8Bit() + "\r\n");
        window_ = std::make_unique<frmMain>();  // reads the modlcd.ini just written
        window_->show();
        // Counts while the window waits: a stuck event loop would leave it standing.
        heartbeat_.setInterval(5);
        QObject::connect(&heartbeat_, &QTimer::timeout, [this] { ++beats_; });
        heartbeat_.start();
    }

    int run() {
        const int batches = (plan_.exchanges + plan_.batchSize - 1) / plan_.batchSize;
        long long warm = 0;
        for (int b = plan_.index; b < batches; b += plan_.workers) {
            runBatch(b, std::min(plan_.batchSize, plan_.exchanges - b * plan_.batchSize));
            if (warm == 0) {
                warm = residentBytes();
            }
        }
        for (auto it = faults_.cbegin(); it != faults_.cend(); ++it) {
            std::printf("fault %s %d\n", qPrintable(it.key()), it.value());
        }
        for (auto it = outcomes_.cbegin(); it != outcomes_.cend(); ++it) {
            std::printf("outcome %s %d\n", qPrintable(it.key()), it.value());
        }
        std::printf("rss %lld %lld\n", warm, residentBytes());
        std::printf("done %d\n", done_);
        std::fflush(stdout);
        return 0;
    }

  private:
    void report(const char* kind, const QString& text) {
        if (++reported_ <= kMismatchLinesShown) {
            std::printf("%s %s\n", kind, qPrintable(text));
        } else {
            std::printf("%s (more)\n", kind);
        }
        std::fflush(stdout);
    }

    bool connectWindow() {
        window_->cmdConnect->click();
        return window_->cmdConnect->text() == QLatin1String("Disconnect");
    }

    // Disconnect and connect: opening the port starts it with nothing waiting.
    bool reconnect(QByteArray& waiting) {
        window_->cmdConnect->click();
        waiting.clear();
        return connectWindow();
    }

    void runBatch(int index, int count) {
        Draw draw(plan_.seed, index);
        const Batch batch = draw.batch();
        std::printf("batch %d %d %s\n", index, count, qPrintable(batch.faults.args().join(' ')));
        std::fflush(stdout);
        SimProcess sim;
        try {
            sim.start(batch.simArgs() + QStringList{QStringLiteral("--link"), link_});
        } catch (const std::exception& e) {
            report("mismatch", QStringLiteral("batch %1: korvo-sim did not start: %2")
                                   .arg(index)
                                   .arg(QString::fromLocal8Bit(e.what())));
            return;
        }
        const std::array<QRadioButton*, 3> bauds{window_->opt9600, window_->opt19200,
                                                 window_->opt38400};
        bauds[static_cast<std::size_t>(batch.baud / 19200)]->click();
        window_->cboDF->setCurrentIndex(window_->cboDF->findText(batch.format));
        window_->cboSlaveID->setCurrentIndex(batch.address - 1);
        if (!connectWindow()) {
            report("mismatch", QStringLiteral("batch %1: could not connect (%2)")
                                   .arg(index)
                                   .arg(shownMessages().join(QStringLiteral(", "))));
            return;
        }
        ModuleLog module;
        QByteArray waiting;  // what the port's receive buffer holds between exchanges
        for (int k = 0; k < count; ++k) {
            const bool again = k > 0 && draw.between(1, kReconnectOdds) == 1;
            if (again && !reconnect(waiting)) {
                report("mismatch",
                       QStringLiteral("batch %1 #%2: could not reconnect").arg(index).arg(k));
                return;
            }
            const Exchange x = draw.exchange(batch);
            const QString what = QStringLiteral("batch %1 #%2 %3").arg(index).arg(k).arg(x.name());
            // After a mismatch the buffer is no longer known; start the next one afresh.
            if (!exchange(x, what, batch, waiting, sim, module) && !reconnect(waiting)) {
                report("mismatch", what + QStringLiteral(": could not reconnect after it"));
                return;
            }
            for (const QString& f : batch.faults.names()) {
                ++faults_[f];
            }
        }
        window_->cmdConnect->click();
        if (const int status = sim.stop(); status != 0) {
            report("mismatch", QStringLiteral("batch %1: korvo-sim ended with %2: %3")
                                   .arg(index)
                                   .arg(status)
                                   .arg(sim.errors()));
        }
        if (!shownMessages().isEmpty()) {
            report("mismatch", QStringLiteral("batch %1: message boxes %2")
                                   .arg(index)
                                   .arg(shownMessages().join(QStringLiteral(", "))));
            shownMessages().clear();
        }
    }

    QPushButton* prepare(const Exchange& x) {
        frmMain& w = *window_;
        switch (x.command) {
            case Command::Read04:
                w.cboAddr04->setCurrentIndex(x.position);
                return w.cmdSend04;
            case Command::Coil05:
                w.cboAddr05->setCurrentIndex(x.position);
                w.cboData05->setCurrentIndex(x.coilOn ? 1 : 0);
                return w.cmdSend05;
            case Command::Register06:
                w.cboAddr06->setCurrentIndex(x.position);
                w.cboDataH06->setCurrentIndex(x.high);
                w.cboDataL06->setCurrentIndex(x.low);
                return w.cmdSend06;
            case Command::Message16:
                w.cboAddr16->setCurrentIndex(x.position);
                w.txtMessage->setText(QString::fromLatin1(x.message));
                return w.cmdSend16;
        }
        return nullptr;
    }

    // One click and its checks; false after a mismatch.
    bool exchange(const Exchange& x, const QString& what, const Batch& batch, QByteArray& waiting,
                  SimProcess& sim, ModuleLog& module) {
        frmMain& w = *window_;
        QPushButton* send = prepare(x);
        const int beatsBefore = beats_;
        send->click();
        const int leftAtEnd = w.MSComm1.InBufferCount();
        ++done_;
        if (beats_ == beatsBefore) {
            report("stall", what);
        }
        const QByteArray stream = lineBytes(x, batch);
        if (!module.settle(sim, 1, stream.isEmpty() ? 0 : 1)) {
            report("mismatch", what + QStringLiteral(": korvo-sim did not take the request"));
            return false;
        }
        // What the exchange left in the buffer, once the module has said all it will.
        const int left = w.MSComm1.InBufferCount();
        const QString shown = w.lblRxData->text();
        const QString sent = w.lblTxData->text();
        QByteArray after = waiting + stream;
        const QString expected = expectedReply(after, x.replyLength());
        if (sent == spacedHex(x.request) && shown == expected && left == after.size()) {
            ++outcomes_[expected.endsWith(QLatin1Char(' ')) ? QStringLiteral("good") : expected];
            waiting = after;
            checkRegister(x, what, batch, shown);
            return true;
        }
        // Not a fault of the window when bytes came in after it had finished (the module was
        // held up by a busy machine) and a part of the module's bytes explains what it saw.
        if (sent == spacedHex(x.request) && left > leftAtEnd) {
            if (const auto late = lateArrival(waiting, stream, x.replyLength(), shown, left)) {
                ++outcomes_[QStringLiteral("late (the module answered after the wait)")];
                waiting = *late;
                return true;
            }
        }
        report("mismatch", QStringLiteral("%1 under \"%2\": sent \"%3\" (meant \"%4\"), reply "
                                          "line \"%5\" (meant \"%6\"), %7 bytes left (meant %8)")
                               .arg(what, batch.faults.args().join(' '), sent, spacedHex(x.request),
                                    shown, expected)
                               .arg(left)
                               .arg(after.size()));
        return false;
    }

    void checkRegister(const Exchange& x, const QString& what, const Batch& batch,
                       const QString& shown) {
        if (x.command != Command::Read04 || shown != spacedHex(x.goodReply)) {
            return;
        }
        const int value = batch.inputRegisters[static_cast<std::size_t>(x.position)];
        const QString label = window_->lblReg3x[static_cast<std::size_t>(x.position)]->text();
        if (label != registerLabel(x.position, value)) {
            report("mismatch", QStringLiteral("%1: register %2 shows \"%3\", holds %4")
                                   .arg(what)
                                   .arg(30001 + x.position)
                                   .arg(label)
                                   .arg(value));
        }
    }

    WorkerPlan plan_;
    IniFolder ini_;
    QString link_;
    std::unique_ptr<frmMain> window_;
    QTimer heartbeat_;
    int beats_ = 0;
    int done_ = 0;
    int reported_ = 0;
    QMap<QString, int> faults_;
    QMap<QString, int> outcomes_;
};

}  // namespace

int runWorker(const WorkerPlan& plan) {
    Worker worker(plan);
    return worker.run();
}

}  // namespace soak
