// SPDX-License-Identifier: MIT
// The program's own start, as app/main.cpp does it, reporting its first frame. The
// settings come from the folder named by TESSALINE_BENCH_INI_DIR, where the benchmark
// keeps the modlcd.ini of a returning user, or else from beside this program.

#include <QApplication>

#include "app/frmMain.h"
#include "app/resources/appicon.h"
#include "bench/firstframe.h"
#include "settings/modINI.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const bench::FirstFrame frame(app);
    modINI::setFolder(qEnvironmentVariable("TESSALINE_BENCH_INI_DIR"));
    QApplication::setWindowIcon(resources::appIcon());
    frmMain window;
    window.show();
    return QApplication::exec();
}
