// SPDX-License-Identifier: MIT
#include "sim/show/show.h"

#include <QApplication>
#include <QPixmap>

#include <atomic>
#include <iostream>
#include <thread>

#include "sim/display.h"
#include "sim/posix/runloop.h"
#include "sim/show/showwindow.h"

namespace korvo {

int runShown(const Options& options, int argc, char** argv) {
    // Qt would abort without a word of its own; say what is missing instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::cerr << "korvo-sim: --show needs a display, and neither DISPLAY nor WAYLAND_DISPLAY "
                     "is set; start it without --show, or under xvfb-run\n";
        return 1;
    }
    // Before Qt starts threads of its own: the stop signals must find the line's thread.
    holdStopSignals();
    QApplication app(argc, argv);
    ShowWindow window(viewOf(Module(options.module)));
    window.show();

    std::atomic<bool> done{false};
    int status = 0;
    std::thread line([&] {
        status = run(options, [&window](const Module& m, const std::vector<std::string>& logged) {
            QMetaObject::invokeMethod(
                &window, [&window, view = viewOf(m), logged] { window.take(view, logged); },
                Qt::QueuedConnection);
        });
        done = true;
        // Queued behind the last view, so a screenshot shows it.
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    if (!done) {
        stopRun(line.native_handle(), "the window was closed");
    }
    line.join();
    if (!options.screenshot.empty() &&
        !window.grab().save(QString::fromStdString(options.screenshot))) {
        std::cerr << "korvo-sim: cannot save the screenshot " << options.screenshot << "\n";
        return status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace korvo
