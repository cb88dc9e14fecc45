// How long each command keeps the user waiting (click to outcome) against korvo-sim, and
// how much CPU the program uses meanwhile. Run by scripts/bench-modbus.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/frmMain.h"
#include "app/traffic/frmTrafficLog.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    SimProcess sim;
    const QString path = sim.start({});
    IniFolder ini;
    ini.write(
        "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n["
        "Ports]\r\n3=" +
        path.toLocal8Bit() + "\r\n");
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
        frmTrafficLog::showLog();
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
    std::printf("%d exchanges per command against korvo-sim (9600 8N1, paced)%s\n", rounds,
                logWindow ? ", traffic log window open" : "");
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
    sim.stop();
    return failures == 0 ? 0 : 2;
}
