#pragma once

// One worker of the soak run: its own modlcd.ini folder, main window and korvo-sim, running
// every batch whose index falls to it. It reports on standard output, one fact a line:
//   batch B N ARGS...        a batch of N exchanges against korvo-sim with these options
//   fault NAME N             exchanges run under that fault ("none" without one)
//   outcome TEXT N           exchanges that ended with that reply line
//   mismatch TEXT            an exchange, connect or module that did not do as expected
//   stall TEXT               an exchange during which the window's heartbeat stood still
//   rss WARM END             resident bytes after the first batch and at the end
//   done N                   exchanges run

#include <cstdint>

namespace soak {

struct WorkerPlan {
    int index = 0;
    int workers = 1;
    std::uint64_t seed = 0;
    int exchanges = 0;  // of the whole run
    int batchSize = 50;
};

int runWorker(const WorkerPlan& plan);

}  // namespace soak
