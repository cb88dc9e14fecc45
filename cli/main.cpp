// SPDX-License-Identifier: MIT
// tessaline-cli: the module's four requests, the finder and a checked configuration upload
// for scripts, the bench and the production line.

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

#include <cstdio>

#include "cli/commands.h"
#include "cli/options.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const cli::Parsed parsed = cli::parse(args);
    if (parsed.help) {
        out << cli::usage();
        return 0;
    }
    if (!parsed.options) {
        err << "tessaline-cli: " << parsed.error << '\n';
        if (args.contains(QLatin1String("--json"))) {
            out << QJsonDocument(cli::errorJson(parsed.error, cli::Exit::Usage))
                       .toJson(QJsonDocument::Compact)
                << '\n';
        }
        return static_cast<int>(cli::Exit::Usage);
    }
    return static_cast<int>(cli::run(*parsed.options, out, err));
}
