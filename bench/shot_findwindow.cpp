// SPDX-License-Identifier: MIT
// Draws the finder after a search, and both configuration windows after Send & Verify,
// against korvo-sim into PNGs for the documentation:
//   shot_findwindow FOLDER   (run under a display, e.g. xvfb-run -a)
// writes FOLDER/find-module.png, FOLDER/config16x2.png and FOLDER/config20x4.png.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cstdio>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/finder/findwindow.h"
#include "app/frmMain.h"
#include "app/modVar.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

bool verifyAndDraw(QWidget* w, const QString& file) {
    w->show();
    auto* verify = w->findChild<QPushButton*>("cmdVerify");
    verify->click();
    static_cast<void>(QTest::qWaitFor([verify] { return verify->isEnabled(); }, 5000));
    QApplication::processEvents();
    return w->grab().save(file);
}

// korvo-sim with these options on port 3, the main window preselecting 9600 8N1, slave 1.
void startOnPort3(SimProcess& sim, const IniFolder& ini, const QStringList& args) {
    const QString path = sim.start(args);
    ini.write(
        "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\nModule=2004"
        "\r\n[Ports]\r\n3=" +
        path.toLocal8Bit() + "\r\n");
    PortNumber = QStringLiteral("3");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_findwindow FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    IniFolder ini;
    bool saved = true;
    {
        SimProcess sim;
        startOnPort3(sim, ini, {"--address", "37", "--baud", "38400", "--format", "8N2"});
        frmMain w;
        w.show();
        w.findAction->trigger();
        auto* find = w.findChild<finder::FindWindow*>();
        find->fromBox->setValue(30);
        find->toBox->setValue(40);
        find->startButton->click();
        static_cast<void>(QTest::qWaitFor([find] { return !find->searching(); }, 30'000));
        QApplication::processEvents();
        saved = find->grab().save(folder + "find-module.png") && saved;
    }

    SimProcess sim16;
    startOnPort3(sim16, ini, {"--model", "216"});
    auto* w16 = new frmConfig1602;
    w16->cboaddr->setCurrentIndex(36);
    w16->cbobaud->setCurrentIndex(2);
    w16->cboDF->setCurrentIndex(1);
    w16->findChild<QSpinBox*>("settleBox")->setValue(20);
    saved = verifyAndDraw(w16, folder + "config16x2.png") && saved;
    w16->close();
    QApplication::processEvents();

    SimProcess sim20;
    startOnPort3(sim20, ini, {"--model", "420"});
    auto* w20 = new frmConfig2004;
    w20->cboaddr->setCurrentIndex(4);
    w20->cbobaud->setCurrentIndex(1);
    w20->cboDF->setCurrentIndex(1);
    saved = verifyAndDraw(w20, folder + "config20x4.png") && saved;
    w20->close();
    QApplication::processEvents();
    return saved ? 0 : 1;
}
