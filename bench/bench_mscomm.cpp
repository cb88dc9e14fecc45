// SPDX-License-Identifier: MIT
// Times the serial control over a pty pair and prints the figures; not a test, nothing is
// asserted. A pty moves bytes at memory speed, so these are the control's own costs: wire
// time at the set baud comes on top on a real line.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <future>
#include <vector>

#include "serial/mscomm.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"

using namespace testsupport;

namespace {

constexpr int kRuns = 50;

struct Figures {
    std::vector<double> ms;
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-46s median %8.3f ms   p95 %8.3f ms   max %8.3f ms\n", what,
                    ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    }
};

double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// Output of size bytes, then close while the far end reads; times Output and the close.
void closeAfterOutput(PtyPair& pty, const QString& settings, int size, const char* label) {
    Figures output;
    Figures close;
    for (int run = 0; run < kRuns; ++run) {
        MSComm comm{settings::portDevice};
        comm.Settings(settings);
        comm.CommPort(1);
        comm.PortOpen(true);
        auto got = std::async(std::launch::async, [&] { return pty.readExactly(size, 5000); });
        QElapsedTimer t;
        t.start();
        comm.Output(QByteArray(size, 'x'));
        output.ms.push_back(msSince(t));
        t.restart();
        comm.PortOpen(false);
        close.ms.push_back(msSince(t));
        if (got.get().size() != size) {
            std::printf("lost bytes in run %d\n", run);
        }
    }
    output.print(qPrintable(QStringLiteral("Output, %1").arg(QString::fromLatin1(label))));
    close.print(qPrintable(QStringLiteral("close after it, %1").arg(QString::fromLatin1(label))));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    IniFolder ini;
    PtyPair pty;
    WriteINI(QStringLiteral("Ports"), QStringLiteral("1"), pty.slavePath());

    Figures open;
    for (int run = 0; run < kRuns; ++run) {
        MSComm comm{settings::portDevice};
        comm.CommPort(1);
        QElapsedTimer t;
        t.start();
        comm.PortOpen(true);
        open.ms.push_back(msSince(t));
    }
    open.print("PortOpen(true)");

    closeAfterOutput(pty, QStringLiteral("9600,n,8,1"), 110, "110 bytes at 9600");
    closeAfterOutput(pty, QStringLiteral("9600,n,8,1"), 23, "23 bytes at 9600");
    closeAfterOutput(pty, QStringLiteral("115200,n,8,1"), 100000, "100000 bytes at 115200");

    {
        // The far end stops reading: the close gives up instead of waiting out the wire time.
        MSComm stuck{settings::portDevice};
        stuck.CommPort(1);
        stuck.PortOpen(true);
        stuck.Output(QByteArray(100000, 'x'));
        QElapsedTimer t;
        t.start();
        stuck.PortOpen(false);
        std::printf("%-46s %8.3f ms\n", "close, 100000 bytes at 9600, nobody reading", msSince(t));
        pty.readAll(50);
    }

    MSComm comm{settings::portDevice};
    comm.CommPort(1);
    comm.PortOpen(true);
    Figures idleCount;
    Figures seen;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        comm.InBufferCount();
        idleCount.ms.push_back(msSince(t));

        pty.write(QByteArray(7, 'r'));
        t.restart();
        while (comm.InBufferCount() < 7) {
        }
        seen.ms.push_back(msSince(t));
        comm.Input();
    }
    idleCount.print("InBufferCount, nothing waiting");
    seen.print("7 bytes written to counted (no event loop)");
    return 0;
}
