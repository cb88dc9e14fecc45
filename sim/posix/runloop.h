#pragma once

// The module on a real line: bursts framed by silence, replies paced at the line speed,
// until SIGINT or SIGTERM.

#include "sim/options.h"

namespace korvo {

// Returns the exit status: 0 after a signal, 1 when the line cannot be had at all.
int run(const Options& options);

}  // namespace korvo
