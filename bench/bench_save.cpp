// SPDX-License-Identifier: MIT
// Opens one window on a returning user's settings and closes it, so that the save it makes
// on closing can be timed here and its calls to the disk counted from outside (strace):
//   bench_save main|1602|2004 FOLDER [ROUNDS]
// Prints "save WINDOW median_ms max_ms" over the rounds.

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/frmMain.h"
#include "settings/modINI.h"

namespace {

std::unique_ptr<QWidget> open(const QString& which) {
    if (which == QLatin1String("1602")) {
        return std::make_unique<frmConfig1602>();
    }
    if (which == QLatin1String("2004")) {
        return std::make_unique<frmConfig2004>();
    }
    return std::make_unique<frmMain>();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_save main|1602|2004 FOLDER [ROUNDS]\n");
        return 2;
    }
    modINI::setFolder(args[2]);
    const int rounds = args.size() > 3 ? std::max(1, args[3].toInt()) : 1;
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
        auto window = open(args[1]);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        QElapsedTimer t;
        t.start();
        window->close();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("save %s %.2f %.2f\n", qPrintable(args[1]), ms[ms.size() / 2], ms.back());
    return 0;
}
