// SPDX-License-Identifier: MIT
#pragma once

// tessaline-cli monitor: listens to a line without writing to it and prints each frame as
// it is heard, then the figures per slave, however the listening ends (its duration, its
// frame count, Ctrl+C, or a failed port).

#include <QTextStream>

#include "cli/options.h"
#include "serial/mscomm.h"

namespace cli {

Exit monitor(const Options& o, const QString& device, const serial::LineSettings& line,
             QTextStream& out, QTextStream& err);

}  // namespace cli
