// SPDX-License-Identifier: MIT
// The main window connected and idle while another device talks on the line: peak memory
// against the start, and the program's CPU share, over a flood of 8-byte bursts at the
// line's full rate; then korvo-sim takes the same line and Send 04 is clicked twice.
//   bench_flood BAUD SECONDS   (scripts/bench runs it at 9600 and 38400)
//
// The line is a socat pair of pseudo-terminals: the window opens one end, a child process
// floods the other (its CPU time is its own, not the program's), and korvo-sim --device
// opens that end once the flood has stopped.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/frmMain.h"
#include "serial/traffic/recorder.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

constexpr int kBurst = 8;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
long statusKiB(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed().split(' ').front().toLong();
        }
    }
    return -1;
}

// The peak so far starts again from what is resident now.
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

timespec plus(timespec t, long ns) {
    t.tv_nsec += ns;
    t.tv_sec += t.tv_nsec / 1'000'000'000;
    t.tv_nsec %= 1'000'000'000;
    return t;
}

// The child: waits for the go byte, then writes a burst every burst's wire time until
// stopped; reports the bytes it wrote on exit through its status pipe.
[[noreturn]] void flood(const char* device, int baud, int go, int report) {
    char byte = 0;
    if (::read(go, &byte, 1) != 1) {
        std::_Exit(0);
    }
    const int fd = ::open(device, O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        std::_Exit(1);
    }
    static volatile sig_atomic_t stop = 0;
    struct sigaction sa {};
    sa.sa_handler = [](int) { stop = 1; };
    ::sigaction(SIGTERM, &sa, nullptr);
    const long period = 1'000'000'000L * kBurst * 10 / baud;
    std::array<unsigned char, kBurst> burst{};
    long long sent = 0;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (stop == 0) {
        for (int i = 0; i < kBurst; ++i) {
            burst[static_cast<std::size_t>(i)] = static_cast<unsigned char>(sent + i);
        }
        const ssize_t n = ::write(fd, burst.data(), burst.size());
        sent += n > 0 ? n : 0;
        next = plus(next, period);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    [[maybe_unused]] const ssize_t w = ::write(report, &sent, sizeof sent);
    std::_Exit(0);
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    const int baud = argc > 1 ? std::atoi(argv[1]) : 9600;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    QTemporaryDir dir;
    const QByteArray near = QDir(dir.path()).filePath(QStringLiteral("program")).toLocal8Bit();
    const QByteArray far = QDir(dir.path()).filePath(QStringLiteral("far")).toLocal8Bit();

    const pid_t socat = ::fork();
    if (socat == 0) {
        const QByteArray a = "pty,raw,echo=0,link=" + near;
        const QByteArray b = "pty,raw,echo=0,link=" + far;
        ::execlp("socat", "socat", a.constData(), b.constData(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    for (int i = 0; i < 500 && !(QFile::exists(near) && QFile::exists(far)); ++i) {
        ::usleep(10'000);
    }
    std::array<int, 2> go{};
    std::array<int, 2> report{};
    if (!QFile::exists(far) || ::pipe(go.data()) != 0 || ::pipe(report.data()) != 0) {
        std::fprintf(stderr, "no socat pair of pseudo-terminals\n");
        ::kill(socat, SIGTERM);
        return 1;
    }
    const pid_t flooder = ::fork();
    if (flooder == 0) {
        flood(far.constData(), baud, go[0], report[1]);
    }

    QApplication app(argc, argv);
    IniFolder ini;
    ini.write("[Settings]\r\nCommPort=3\r\nSetting=" + QByteArray::number(baud) +
              ",n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n[Ports]\r\n3=" + near + "\r\n");
    auto w = std::make_unique<frmMain>();
    w->show();
    w->cmdConnect->click();
    int status = 0;
    if (w->cmdConnect->text() != QLatin1String("Disconnect")) {
        std::fprintf(stderr, "could not connect to %s\n", near.constData());
        status = 1;
    }
    runFor(1000);
    resetPeak();
    const long startKiB = statusKiB("VmRSS");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    [[maybe_unused]] const ssize_t g = ::write(go[1], "g", 1);
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpuBefore;
    const double wallSec = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const long peakKiB = statusKiB("VmHWM");
    ::kill(flooder, SIGTERM);
    long long sent = 0;
    [[maybe_unused]] const ssize_t r = ::read(report[0], &sent, sizeof sent);
    ::waitpid(flooder, nullptr, 0);

    const traffic::Model& rows = traffic::recorder().model();
    QString lossWords = QStringLiteral("none");
    for (int i = 0; i < rows.rowCount(); ++i) {
        if (rows.row(i).meaning.startsWith(QLatin1String("receive buffer full"))) {
            lossWords = rows.row(i).outcome;
        }
    }
    std::printf(
        "flood %d: %lld bytes in %d s; resident at start %.1f MiB, peak %.1f MiB "
        "(+%.2f MiB); CPU share %.2f %%; log rows %d, lost %s\n",
        baud, sent, seconds, static_cast<double>(startKiB) / 1024,
        static_cast<double>(peakKiB) / 1024, static_cast<double>(peakKiB - startKiB) / 1024,
        100.0 * cpu / wallSec, rows.rowCount(), qPrintable(lossWords));

    // A real module on the same line: the first Send reads what the flood left waiting,
    // the next the module's reply alone. A module held up past the wait by a busy machine
    // shows as "No Response" and is asked again, at most three times, each said.
    SimProcess sim;
    try {
        sim.start({QStringLiteral("--device"), QString::fromLocal8Bit(far),
                   QStringLiteral("--baud"), QString::number(baud)});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvo-sim did not start: %s\n", e.what());
        status = 1;
    }
    bool good = false;
    for (int send = 1; send <= 4 && !good && sim.running(); ++send) {
        w->cmdSend04->click();
        good = w->lblRxData->text().endsWith(QLatin1Char(' '));
        std::printf("flood %d: Send 04 #%d after the flood: %s\n", baud, send,
                    qPrintable(w->lblRxData->text().trimmed().left(60)));
    }
    if (!good) {
        status = 2;
    }
    w->cmdConnect->click();
    w.reset();
    sim.stop();
    ::kill(socat, SIGTERM);
    ::waitpid(socat, nullptr, 0);
    return status;
}
