// SPDX-License-Identifier: MIT
#pragma once

// What the module shows on its character display, and the rest of its state that a window
// beside it shows: plain values, taken from the module between two bursts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/image.h"
#include "sim/module.h"

namespace korvo {

// A data field's characters for a register value: `width` digits, the point before the
// last `decimals` of them, leading zeros before the units digit blank; a value with more
// digits than the field shows dashes.
std::string fieldText(std::uint16_t value, const DataField& field);

// The display's lines as they read now: the text registers, with each data field of the
// last upload drawn over its line, cut at the line's end. Control characters show blank.
std::vector<std::string> shownLines(const Module& m);

struct ModuleView {
    std::string title;  // "Korvo-420 — virtual module"
    int columns = 20;
    std::vector<std::string> lines;
    int address = 1;
    std::string line;  // "9600 8N1"
    std::vector<bool> coils;
    std::optional<std::uint8_t> ioDirections;  // bit n-1 set: pin n is an output
};

ModuleView viewOf(const Module& m);

}  // namespace korvo
