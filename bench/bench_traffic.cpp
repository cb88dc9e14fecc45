// SPDX-License-Identifier: MIT
// What one row of the traffic log costs: putting a frame into words and appending it to the
// model while the log window shows it, filling up to the 100,000 rows kept and then beyond,
// where each new row drops the oldest; and the memory the full log holds. Run by
// scripts/bench.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/traffic/trafficlogwindow.h"
#include "core/framewords.h"
#include "serial/traffic/trafficmodel.h"
#include "tests/support/wordedframes.h"

using namespace testsupport;

namespace {

// Resident memory in KiB.
long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const auto& frames = wordedFrames();
    const long before = residentKiB();
    traffic::Model model;
    traffic::TrafficLogWindow window(model);
    window.show();
    QApplication::processEvents();

    // Batches of rows, shown and repainted after each as the event loop would.
    const auto batch = [&](int start, int count = 1000) {
        QElapsedTimer t;
        t.start();
        for (int i = start; i < start + count; ++i) {
            const WordedFrame& f = frames[static_cast<std::size_t>(i) % frames.size()];
            traffic::Row row;
            row.sinceStartMs = i;
            row.wallClockMs = 1'700'000'000'000 + i;
            row.port = 3;
            row.device = QStringLiteral("/dev/pts/3");
            row.tx = f.direction == framewords::Direction::Tx;
            row.bytes = f.bytes;
            row.meaning =
                framewords::describe({reinterpret_cast<const std::uint8_t*>(f.bytes.constData()),
                                      static_cast<std::size_t>(f.bytes.size())},
                                     f.line, f.direction, codepage::windows1252());
            row.outcome = row.tx ? QString() : QStringLiteral("good");
            model.append(std::move(row));
        }
        model.flush();
        QApplication::processEvents();
        return static_cast<double>(t.nsecsElapsed()) / 1e3 / count;  // µs a row
    };

    std::vector<double> filling;
    for (int start = 0; start < 100'000; start += 1000) {
        filling.push_back(batch(start));
    }
    const long full = residentKiB();
    const int fullRows = model.rowCount();
    std::vector<double> dropping;
    for (int start = 100'000; start < 120'000; start += 1000) {
        dropping.push_back(batch(start));
    }
    // A quiet session: every row reaches the view on its own.
    std::vector<double> single;
    for (int start = 120'000; start < 120'200; ++start) {
        single.push_back(batch(start, 1));
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const auto print = [&](const char* what, const std::vector<double>& v) {
        std::printf("%-44s median %8.2f us  max %8.2f us\n", what, median(v),
                    *std::max_element(v.begin(), v.end()));
    };
    // Words, model and view, a batch of 1000 rows shown and repainted at once.
    print("row append, filling to 100000", filling);
    print("row append at 100000, dropping the oldest", dropping);
    // The view's insertion and a repaint for one row alone, as in a quiet session.
    print("one row shown on its own at 100000", single);
    std::printf("memory at %d rows: %.1f MiB more resident, %.0f bytes a row\n", fullRows,
                static_cast<double>(full - before) / 1024.0,
                static_cast<double>(full - before) * 1024.0 / fullRows);
    return 0;
}
