// SPDX-License-Identifier: MIT
#include "sim/display.h"

#include <algorithm>

namespace korvo {

std::string fieldText(std::uint16_t value, const DataField& field) {
    const auto width = static_cast<std::size_t>(std::max(field.width, 1));
    const auto decimals = static_cast<std::size_t>(std::clamp(field.decimals, 0, field.width));
    std::string digits = std::to_string(value);
    if (digits.size() > width) {
        digits.assign(width, '-');
    } else {
        digits.insert(0, width - digits.size(), '0');
        // Blank up to the units digit; the point and what follows it keep their zeros.
        const std::size_t units = width - decimals;
        for (std::size_t i = 0; i + 1 < units && digits[i] == '0'; ++i) {
            digits[i] = ' ';
        }
    }
    if (decimals > 0) {
        digits.insert(width - decimals, 1, '.');
    }
    return digits;
}

std::vector<std::string> shownLines(const Module& m) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(std::max(m.displayLines(), 0)));
    for (int l = 0; l < m.displayLines(); ++l) {
        lines.push_back(m.displayText(l));
    }
    const std::vector<DataField> fields = m.dataFields();
    for (std::size_t n = 0; n < fields.size() && n < lines.size(); ++n) {
        const std::string text = fieldText(m.holdingRegister(m.fieldRegister(n)), fields[n]);
        std::string& line = lines[n];
        const auto at = static_cast<std::size_t>(std::max(fields[n].location, 0));
        for (std::size_t i = 0; i < text.size() && at + i < line.size(); ++i) {
            line[at + i] = text[i];
        }
    }
    for (std::string& line : lines) {
        std::replace_if(
            line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
            ' ');
    }
    return lines;
}

ModuleView viewOf(const Module& m) {
    ModuleView v;
    v.title = modelName(m.model()) + " \u2014 virtual module";
    v.columns = m.displayColumns();
    v.lines = shownLines(m);
    v.address = m.address();
    v.line = describe(m.line());
    for (std::size_t c = 0; c < m.coilCount(); ++c) {
        v.coils.push_back(m.coil(c));
    }
    v.ioDirections = m.ioDirections();
    return v;
}

}  // namespace korvo
