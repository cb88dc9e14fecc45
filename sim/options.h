// SPDX-License-Identifier: MIT
#pragma once

// The command line of korvo-sim.

#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include "sim/module.h"

namespace korvo {

struct Options {
    ModuleSetup module;
    std::string device;  // open this tty instead of creating a pseudo-terminal
    std::string link;    // symbolic link to the pseudo-terminal
    bool pace = true;
    std::chrono::milliseconds delay{0};
    // Every byte heard goes straight back, as through a two-wire adapter that hears its own
    // transmitter: a matter of the line, not of the module, so it ignores framing.
    bool echo = false;
    // After taking an upload the module hears nothing for this long, as one writing its
    // EEPROM does.
    std::chrono::milliseconds settle{0};
    bool show = false;       // the module's display in a window
    std::string screenshot;  // with show: the window saved as PNG here when the program stops
    bool help = false;
};

struct OptionError {
    std::string message;
};

std::variant<Options, OptionError> parseOptions(const std::vector<std::string>& args);

std::string helpText();

}  // namespace korvo
