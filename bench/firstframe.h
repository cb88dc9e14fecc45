// SPDX-License-Identifier: MIT
#pragma once

// Start-up figures of a Qt Widgets program: once the first paint of any of its widgets has
// gone through, prints "shown <CLOCK_MONOTONIC ns> <VmHWM kB>" on standard output and
// quits. The program that launched it subtracts its own clock reading taken just before
// the launch, so loading the libraries counts as it does for a user.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace bench {

class FirstFrame : public QObject {
  public:
    explicit FirstFrame(QCoreApplication& app) { app.installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint) {
            seen_ = true;
            // Queued, so that the whole window has been painted and flushed first.
            QTimer::singleShot(0, this, [] {
                timespec now{};
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("shown %lld %ld\n",
                            static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                            peakKiB());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static long peakKiB() {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly)) {
            return 0;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                return line.mid(6).trimmed().split(' ').first().toLong();
            }
        }
        return 0;
    }

    bool seen_ = false;
};

}  // namespace bench
