// SPDX-License-Identifier: MIT
// How long each command keeps the user waiting (click to outcome) against korvo-sim, and
// how much CPU the program uses meanwhile. Run by scripts/bench-modbus, and by
// scripts/windows --bench for the Windows build under Wine beside the Linux build.
//
// The module is korvo-sim started here at 9600 8N1, or one already running at the other end
// of TESSALINE_BENCH_DEVICE (a device path) or TESSALINE_BENCH_COM (a port number: COMn on
// Windows), at the line TESSALINE_BENCH_SETTING names.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/frmMain.h"
#include "app/traffic/trafficlogwindow.h"
#include "tests/support/inifolder.h"
#ifndef Q_OS_WIN
#include "tests/support/simprocess.h"
#endif

using namespace testsupport;

namespace {

double cpuSeconds() {
#ifdef Q_OS_WIN
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto sec = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return sec(kernel) + sec(user);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return sec(u.ru_utime) + sec(u.ru_stime);
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    QString setting = qEnvironmentVariable("TESSALINE_BENCH_SETTING", "9600,n,8,1");
    QByteArray commPort = "3";
    QString path = qEnvironmentVariable("TESSALINE_BENCH_DEVICE");
#ifndef Q_OS_WIN
    std::unique_ptr<SimProcess> sim;
#endif
    if (const int com = qEnvironmentVariableIntValue("TESSALINE_BENCH_COM"); com > 0) {
        commPort = QByteArray::number(com);
        path = QStringLiteral("port %1").arg(com);
    } else if (path.isEmpty()) {
#ifdef Q_OS_WIN
        std::fprintf(stderr, "TESSALINE_BENCH_COM names no port\n");
        return 1;
#else
        sim = std::make_unique<SimProcess>();
        path = sim->start({});
        setting = QStringLiteral("9600,n,8,1");
#endif
    }
    IniFolder ini;
    ini.write("[Settings]\r\nCommPort=" + commPort + "\r\nSetting=" + setting.toLatin1() +
              "\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n[Ports]\r\n3=" + path.toLocal8Bit() + "\r\n");
    frmMain w;
    w.show();
    w.cmdConnect->click();
    if (w.cmdConnect->text() != QLatin1String("Disconnect")) {
        std::fprintf(stderr, "could not connect to korvo-sim at %s\n", qPrintable(path));
        return 1;
    }
    w.txtMessage->setText(QStringLiteral("BENCH"));
    // The same figures with the traffic log window open and following every row.
    const bool logWindow = qEnvironmentVariableIsSet("TESSALINE_BENCH_LOG_WINDOW");
    if (logWindow) {
        traffic::TrafficLogWindow::showLog();
    }

    struct Command {
        const char* name;
        QPushButton* button;
        double nominalMs;
    };
    const std::vector<Command> commands{{"04", w.cmdSend04, 60},
                                        {"05", w.cmdSend05, 60},
                                        {"06", w.cmdSend06, 200},
                                        {"16", w.cmdSend16, 100}};
    std::printf("%d exchanges per command against korvo-sim (%s, paced)%s\n", rounds,
                qPrintable(setting), logWindow ? ", traffic log window open" : "");
    std::printf("command  nominal  median    max      good  CPU share\n");
    int failures = 0;
    for (const Command& c : commands) {
        std::vector<double> waits;
        int good = 0;
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer t;
            t.start();
            c.button->click();
            waits.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            good += w.lblRxData->text().endsWith(QLatin1Char(' ')) ? 1 : 0;
        }
        const double cpu = cpuSeconds() - cpuBefore;
        const double wallSec = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        std::sort(waits.begin(), waits.end());
        const double median = waits[waits.size() / 2];
        std::printf("%-8s %5.0f ms %6.1f ms %6.1f ms %4d/%d %6.2f %%\n", c.name, c.nominalMs,
                    median, waits.back(), good, rounds, 100.0 * cpu / wallSec);
        failures += rounds - good;
    }
    w.cmdConnect->click();
#ifndef Q_OS_WIN
    if (sim) {
        sim->stop();
    }
#endif
    return failures == 0 ? 0 : 2;
}
