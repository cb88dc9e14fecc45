// SPDX-License-Identifier: MIT
#include "core/configfield.h"

#include <array>

namespace config {

QString numberFromOne(int position) {
    return QString::number(position + 1);
}

QString numberFromZero(int position) {
    return QString::number(position);
}

QString baudItem(int position) {
    static constexpr std::array<const char*, 3> items{"9600", "19200", "38400"};
    return QLatin1String(items.at(static_cast<std::size_t>(position)));
}

QString formatItem(int position) {
    static constexpr std::array<const char*, 3> items{"8N1", "8N2", "8E1"};
    return QLatin1String(items.at(static_cast<std::size_t>(position)));
}

}  // namespace config
