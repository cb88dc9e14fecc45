// SPDX-License-Identifier: MIT
// Draws the Monitor Bus window into a PNG, for the documentation:
//   shot_busmonitor OUT.png   (run under a display, e.g. xvfb-run -a)
// korvo-bus joins the window, two korvo-sim modules (slaves 1 and 2) and a master played
// here: reads, a register write, a message, an exception and a slave that is not there.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "app/busmonitor/framerows.h"
#include "app/busmonitor/monitorwindow.h"
#include "app/frmMain.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shot_busmonitor OUT.png\n");
        return 2;
    }
    IniFolder ini;
    SimProcess bus(SimProcess::busProgram());
    const QStringList nodes = bus.start({"--nodes", "4"}).split(' ');
    SimProcess one;
    SimProcess two;
    one.start({"--device", nodes.value(1), "--address", "1", "--no-pace"});
    two.start({"--device", nodes.value(2), "--address", "2", "--no-pace", "--input-registers",
               "40,50,60"});
    ini.write(
        "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
        "Module=2004\r\n[Ports]\r\n4=" +
        nodes.value(3).toLocal8Bit() + "\r\n");
    frmMain main;
    main.show();
    main.monitorAction->trigger();
    auto* window = main.findChild<monitor::MonitorWindow*>();
    window->portList->setCurrentIndex(3);
    window->startButton->click();
    bus.waitForLog(QStringLiteral("node 4: a master opened"), 10000);

    const int master = ::open(nodes.value(0).toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    const QList<QByteArray> requests{
        withCrc("01 04 00 00 00 03"), withCrc("02 04 00 00 00 03"),
        withCrc("02 06 00 28 00 7B"), withCrc("01 10 00 00 00 03 06 48 65 6C 6C 6F 20"),
        withCrc("01 04 00 09 00 01"), withCrc("03 04 00 00 00 01"),
        withCrc("01 04 00 01 00 01"), withCrc("02 04 00 02 00 01"),
    };
    for (const QByteArray& r : requests) {
        if (::write(master, r.constData(), static_cast<std::size_t>(r.size())) != r.size()) {
            std::fprintf(stderr, "shot_busmonitor: the master's node took no request\n");
            return 1;
        }
        QTest::qWait(120);
    }
    if (!QTest::qWaitFor([&] { return window->rows().rowCount() >= 15; }, 5000)) {
        std::fprintf(stderr, "shot_busmonitor: only %d frames heard\n", window->rows().rowCount());
    }
    // The figures beside the table are redrawn a quarter of a second after a frame.
    QTest::qWait(400);
    window->resize(2000, 400);
    QTest::qWait(200);
    const bool saved = window->grab().save(QString::fromLocal8Bit(argv[1]));
    ::close(master);
    return saved ? 0 : 1;
}
