// SPDX-License-Identifier: MIT
// Draws the main window after a completed exchange with korvo-sim into a PNG, for the
// documentation:  shot_mainwindow OUT.png   (run under a display, e.g. xvfb-run -a)

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>

#include "app/frmMain.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_mainwindow OUT.png\n");
        return 2;
    }
    SimProcess sim;
    const QString path = sim.start({"--input-registers", "10,1234,40000"});
    IniFolder ini;
    ini.write(
        "[Settings]\r\nCommPort=20\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n["
        "Ports]\r\n20=" +
        path.toLocal8Bit() + "\r\n");
    frmMain w;
    w.show();
    w.cmdConnect->click();
    for (int p = 0; p < 3; ++p) {
        w.cboAddr04->setCurrentIndex(p);
        w.cmdSend04->click();
    }
    w.txtMessage->setText(QStringLiteral("Hello, Korvo!"));
    w.cboAddr04->setCurrentIndex(1);
    w.cmdSend04->click();
    app.processEvents();
    const bool saved = w.grab().save(QString::fromLocal8Bit(argv[1]));
    w.cmdConnect->click();
    sim.stop();
    return saved ? 0 : 1;
}
