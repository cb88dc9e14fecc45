// SPDX-License-Identifier: MIT
#pragma once

// korvo-sim --show: the line runs on a thread of its own, the window on the main thread,
// which is given a view of the module after every burst.

#include "sim/options.h"

namespace korvo {

// Returns the exit status, as run() does.
int runShown(const Options& options, int argc, char** argv);

}  // namespace korvo
