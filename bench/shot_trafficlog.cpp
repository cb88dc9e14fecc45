// SPDX-License-Identifier: MIT
// Draws the traffic log after a short session with a scripted module into a PNG, for the
// documentation:  shot_trafficlog OUT.png   (run under a display, e.g. xvfb-run -a)
// The session has a good read, a message, an exception left waiting and the read behind
// it, a late echo and a reply with stray bytes.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <cstdio>

#include "app/traffic/trafficlogwindow.h"
#include "serial/traffic/recorder.h"
#include "tests/app/slave.h"

using namespace testsupport;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_trafficlog OUT.png\n");
        return 2;
    }
    PtyPair line;
    IniFolder ini;
    prepareIni(ini, line, "2004");
    ScriptedSlave slave(line);
    auto w = connectedWindow();

    slave.answer(withCrc("01 04 02 00 0A"));
    w->cboAddr04->setCurrentIndex(0);
    w->cmdSend04->click();
    slave.answer(withCrc("01 10 00 00 00 03"));
    w->txtMessage->setText(QStringLiteral("Hello"));
    w->cmdSend16->click();
    slave.answer(withCrc("01 84 02"));
    w->cboAddr04->setCurrentIndex(1);
    w->cmdSend04->click();
    slave.answer(withCrc("01 04 02 04 D2"));
    w->cmdSend04->click();
    slave.answer(withCrc("01 06 00 01 12 34"), 260);
    w->cboAddr06->setCurrentIndex(1);
    w->cboDataH06->setCurrentIndex(0x12);
    w->cboDataL06->setCurrentIndex(0x34);
    w->cmdSend06->click();
    QTest::qWait(150);
    slave.answer(withCrc("01 04 02 9C 40") + fromHex("00 FF"));
    w->cboAddr04->setCurrentIndex(2);
    w->cmdSend04->click();

    traffic::TrafficLogWindow* log = traffic::TrafficLogWindow::showLog();
    log->resize(1340, 330);
    traffic::recorder().model().flush();
    QTest::qWait(200);
    const bool saved = log->grab().save(QString::fromLocal8Bit(argv[1]));
    w->cmdConnect->click();
    delete log;  // before the log's model, which the application object owns
    return saved ? 0 : 1;
}
