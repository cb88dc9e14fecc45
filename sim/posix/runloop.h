// SPDX-License-Identifier: MIT
#pragma once

// The module on a real line: bursts framed by silence, replies paced at the line speed,
// until SIGINT or SIGTERM.

#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/module.h"
#include "sim/options.h"

namespace korvo {

// Called on run()'s thread once the line is up and after each burst, with the module as it
// is now and the log lines written since the last call.
using Observer = std::function<void(const Module&, const std::vector<std::string>& logged)>;

// Returns the exit status: 0 after a signal, 1 when the line cannot be had at all.
int run(const Options& options, const Observer& observe = {});

// Installs the stop handlers and blocks SIGINT and SIGTERM in the calling thread, and so in
// every thread it starts afterwards: a program that runs run() on a thread of its own calls
// this first, so that a signal always reaches the thread that waits for it.
void holdStopSignals();

// Ends a run() on another thread as a signal would, logging `why` as the reason.
void stopRun(pthread_t runner, const char* why);

}  // namespace korvo
