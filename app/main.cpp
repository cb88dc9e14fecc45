// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/busmonitor/monitorwindow.h"
#include "app/frmMain.h"
#include "app/resources/appicon.h"
#include "serial/traffic/recorder.h"
#include "settings/ansicodepage.h"
#include "widgets/messagebox.h"

namespace {

// What Qt says while the application connects to the display, held back: on success it
// is passed on as it would have been, on failure it becomes one line and a status instead
// of a page of text and an abort.
struct HeldMessage {
    QtMsgType type;
    const char* category;  // a string literal of Qt's, alive for the whole run
    QString text;
};
std::vector<HeldMessage> heldMessages;
QtMessageHandler passOn = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        heldMessages.push_back({type, context.category, text});
        return;
    }
    // The platform plugin's own words ("could not connect to display") say more than the
    // closing message about plugins.
    QString reason = text.section(u'\n', 0, 0);
    for (const HeldMessage& m : heldMessages) {
        if (m.category != nullptr && QByteArray(m.category).startsWith("qt.qpa")) {
            reason = m.text.trimmed();
            break;
        }
    }
    std::fprintf(stderr, "tessaline: cannot open a window: %s\n", qPrintable(reason));
    std::fflush(stderr);
    std::_Exit(1);
}

std::unique_ptr<QApplication> openDisplay(int& argc, char* argv[]) {
    passOn = qInstallMessageHandler(holdMessage);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(passOn);
    for (const HeldMessage& m : heldMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category);
        if (passOn != nullptr) {
            passOn(m.type, context, m.text);
        }
    }
    heldMessages.clear();
    return app;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("tessaline"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tests and sets up Korvo character LCD modules over Modbus RTU."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Append every frame of the session to FILE as CSV, row by row."),
        QStringLiteral("FILE"));
    parser.addOption(logOption);
    const QCommandLineOption monitorOption(
        QStringLiteral("monitor-bus"),
        QStringLiteral("Open Tools > Monitor Bus on port number PORT (at the main window's "
                       "speed and format) and start listening."),
        QStringLiteral("PORT"));
    parser.addOption(monitorOption);
    // The command line is read before anything needs a display, so that the answers that
    // open no window work on a machine without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const bool parsed = parser.parse(arguments);
    const bool help = parsed && (parser.isSet(QStringLiteral("help")) ||
                                 parser.isSet(QStringLiteral("help-all")));
    bool portOk = false;
    const int monitorPort = parser.value(monitorOption).toInt(&portOk);
    const bool badMonitorPort =
        parsed && parser.isSet(monitorOption) && (!portOk || monitorPort < 1 || monitorPort > 20);
    if (!parsed || help || parser.isSet(QStringLiteral("version")) || badMonitorPort ||
        !parser.positionalArguments().isEmpty()) {
        const QCoreApplication answer(argc, argv);
        if (!parsed) {
            std::fprintf(stderr, "tessaline: %s\n%s", qPrintable(parser.errorText()),
                         qPrintable(parser.helpText()));
            return 2;
        }
        if (help) {
            parser.showHelp();
        }
        if (parser.isSet(QStringLiteral("version"))) {
            parser.showVersion();
        }
        if (badMonitorPort) {
            std::fprintf(stderr, "tessaline: --monitor-bus takes a port number 1..20, not \"%s\"\n",
                         qPrintable(parser.value(monitorOption)));
            return 2;
        }
        std::fprintf(stderr, "tessaline: unexpected argument \"%s\"\n%s",
                     qPrintable(parser.positionalArguments().constFirst()),
                     qPrintable(parser.helpText()));
        return 2;
    }

    const auto app = openDisplay(argc, argv);
    QApplication::setWindowIcon(resources::appIcon());
    // The clock of the traffic log starts with the program.
    traffic::Recorder& recorder = traffic::recorder();
    recorder.setCodePage(settings::ansiCodePage());

    frmMain window;
    window.show();
    if (parser.isSet(logOption)) {
        if (const auto error = recorder.logTo(parser.value(logOption))) {
            // The program is still useful without the file; the window's log keeps the rows.
            std::fprintf(stderr, "tessaline: %s\n", qPrintable(*error));
            ui::showMessage(&window, *error, QMessageBox::Warning);
        }
    }
    if (parser.isSet(monitorOption)) {
        window.openMonitorWindow();
        if (auto* m = window.findChild<monitor::MonitorWindow*>()) {
            m->portList->setCurrentIndex(monitorPort - 1);
            m->startStop();
        }
    }
    return QApplication::exec();
}
