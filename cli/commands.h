// SPDX-License-Identifier: MIT
#pragma once

// The commands of tessaline-cli, run to their end on the event loop of the running
// QCoreApplication. Results go to out (text, or one JSON object with --json); a failure
// that ends a command before it reaches the line goes to err as one line.

#include <QJsonObject>
#include <QTextStream>

#include "cli/options.h"

namespace cli {

Exit run(const Options& options, QTextStream& out, QTextStream& err);

// What --json prints when a command cannot run or ends in a failure of its own: outcome
// "error", the message err got, and the exit status.
QJsonObject errorJson(const QString& message, Exit status);

}  // namespace cli
