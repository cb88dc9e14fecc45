#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

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
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "tessaline: %s\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp();
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
    return QApplication::exec();
}
