// SPDX-License-Identifier: MIT
// korvo-sim: a virtual Korvo display module on a pseudo-terminal or serial device.

#include <exception>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "sim/options.h"
#include "sim/posix/runloop.h"
#include "sim/show/show.h"

int main(int argc, char** argv) try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = korvo::parseOptions(args);
    if (const auto* err = std::get_if<korvo::OptionError>(&parsed)) {
        std::cerr << "korvo-sim: " << err->message << "\nTry 'korvo-sim --help'.\n";
        return 2;
    }
    const auto& options = std::get<korvo::Options>(parsed);
    if (options.help) {
        std::cout << korvo::helpText();
        return 0;
    }
    return options.show ? korvo::runShown(options, argc, argv) : korvo::run(options);
} catch (const std::exception& e) {
    std::cerr << "korvo-sim: " << e.what() << "\n";
    return 1;
}
