// SPDX-License-Identifier: MIT
// Times korvo-sim over its pseudo-terminal and prints the figures; not a test, nothing is
// asserted. Latency is from the end of a request (its write returning: a pty moves it at
// once) to the first reply byte becoming readable.

#include <QCoreApplication>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/crc16.h"
#include "tests/support/simprocess.h"

using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct Figures {
    std::vector<double> latency;
    std::vector<double> total;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double p95(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() * 95 / 100];
}

// Opens the line raw and runs `runs` exchanges of one request with a reply of replyLength.
Figures measure(const QStringList& args, const std::vector<unsigned char>& request,
                std::size_t replyLength, int runs) {
    Figures f;
    SimProcess sim;
    const QString path = sim.start(args);
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            std::printf("short write\n");
            break;
        }
        const auto sent = Clock::now();
        std::size_t got = 0;
        Clock::time_point first;
        unsigned char buf[64];
        while (got < replyLength) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                std::printf("no reply in run %d\n", run);
                break;
            }
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            if (got == 0) {
                first = Clock::now();
            }
            got += static_cast<std::size_t>(n);
        }
        const auto end = Clock::now();
        if (got >= replyLength) {
            f.latency.push_back(msBetween(sent, first));
            f.total.push_back(msBetween(start, end));
        }
        sim.log();  // keeps the log pipe drained
        ::usleep(2000);
    }
    ::close(fd);
    return f;
}

void printRow(const char* what, const std::vector<double>& v, double reference,
              const char* referenceName) {
    if (v.empty()) {
        std::printf("%-44s no figures\n", what);
        return;
    }
    std::printf("%-44s median %6.3f ms  p95 %6.3f ms  (%s %6.3f ms, median %+6.3f ms)\n", what,
                median(v), p95(v), referenceName, reference, median(v) - reference);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const std::vector<unsigned char> read04{0x01, 0x04, 0x00, 0x00, 0x00, 0x01, 0x31, 0xCA};
    std::vector<unsigned char> body16{0x01, 0x10, 0x00, 0x00, 0x00, 0x0A, 0x14};
    for (int i = 0; i < 20; ++i) {
        body16.push_back(static_cast<unsigned char>('A' + i));
    }
    const std::vector<unsigned char> message16 = crc16::closed(body16);

    std::printf("korvo-sim reply timing, %d exchanges each\n\n", runs);
    std::printf("Latency, end of request to first reply byte, --no-pace:\n");
    const struct {
        const char* baud;
        double silence;
    } speeds[] = {{"9600", 3.5 * 10 / 9.6}, {"19200", 3.5 * 10 / 19.2}, {"38400", 1.75}};
    for (const auto& s : speeds) {
        const Figures f = measure({"--no-pace", "--baud", s.baud}, read04, 7, runs);
        const QString label = QStringLiteral("  04 at %1 8N1").arg(QLatin1String(s.baud));
        printRow(qPrintable(label), f.latency, s.silence, "silence");
    }

    std::printf("\nPaced at 9600 8N1 (1.042 ms per character), whole exchange:\n");
    const double ct = 10.0 / 9.6;
    const double silence = 3.5 * ct;
    const Figures f04 = measure({}, read04, 7, runs);
    printRow("  04, first reply byte", f04.latency, silence + ct, "silence + 1 char");
    printRow("  04, 7-byte reply complete", f04.total, silence + 7 * ct, "silence + reply");
    std::printf("  %-42s %6.3f ms (request 8 + silence + reply 7 characters)\n",
                "04 on a real line would take", (8 + 7) * ct + silence);
    const Figures f16 = measure({}, message16, 8, runs);
    printRow("  16 with 20 characters, reply complete", f16.total, silence + 8 * ct,
             "silence + reply");
    std::printf("  %-42s %6.3f ms (request 29 + silence + reply 8 characters)\n",
                "16 on a real line would take", (29 + 8) * ct + silence);
    return 0;
}
