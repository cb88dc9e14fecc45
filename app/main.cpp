#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>

#include <cstdio>

#include "app/busmonitor/monitorwindow.h"
#include "app/frmMain.h"
#include "app/resources/appicon.h"
#include "serial/traffic/recorder.h"
#include "settings/ansicodepage.h"
#include "widgets/messagebox.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaline"));
    QApplication::setWindowIcon(tessalineIcon());
    // The clock of the traffic log starts with the program.
    traffic::Recorder& recorder = traffic::recorder();
    recorder.setCodePage(settings::ansiCodePage());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tests and sets up Korvo character LCD modules over Modbus RTU."));
    parser.addHelpOption();
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
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "tessaline: %s\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp();
    }
    bool portOk = false;
    const int monitorPort = parser.value(monitorOption).toInt(&portOk);
    if (parser.isSet(monitorOption) && (!portOk || monitorPort < 1 || monitorPort > 20)) {
        std::fprintf(stderr, "tessaline: --monitor-bus takes a port number 1..20, not \"%s\"\n",
                     qPrintable(parser.value(monitorOption)));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tessaline: unexpected argument \"%s\"\n%s",
                     qPrintable(parser.positionalArguments().constFirst()),
                     qPrintable(parser.helpText()));
        return 2;
    }

    frmMain window;
    window.show();
    if (parser.isSet(logOption)) {
        QString error;
        if (!recorder.logTo(parser.value(logOption), &error)) {
            // The program is still useful without the file; the window's log keeps the rows.
            std::fprintf(stderr, "tessaline: %s\n", qPrintable(error));
            ui::showMessage(&window, error, QMessageBox::Warning);
        }
    }
    if (parser.isSet(monitorOption)) {
        window.mnuMonitor_Click();
        if (auto* m = window.findChild<monitor::MonitorWindow*>()) {
            m->cboPort->setCurrentIndex(monitorPort - 1);
            m->startStop();
        }
    }
    return QApplication::exec();
}
