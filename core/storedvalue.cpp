// SPDX-License-Identifier: MIT
#include "core/storedvalue.h"

#include <array>
#include <cmath>

namespace storedvalue {

namespace {
constexpr std::array<const char*, 3> FormatSuffixes{",n,8,1", ",n,8,2", ",e,8,1"};
constexpr std::array<const char*, 3> BaudHeads{"9600,", "19200", "38400"};
}  // namespace

int position(const QString& stored, int offset, int count) {
    bool ok = false;
    const double value = stored.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return 0;
    }
    const double p = std::nearbyint(value - offset);
    if (p == -1.0) {
        return -1;
    }
    return p >= 0.0 && p < count ? static_cast<int>(p) : 0;
}

int numberPosition(const QString& stored, int highest) {
    bool ok = false;
    const int n = stored.trimmed().toInt(&ok);
    if (!ok || n < 0 || n > highest) {
        return 0;
    }
    return n - 1;
}

LineSettings lineSettings(const QString& stored) {
    LineSettings out;
    const QString tail = stored.right(5);
    const QString head = stored.left(5);
    for (int i = 0; i < 3; ++i) {
        if (tail == QLatin1String(FormatSuffixes[static_cast<std::size_t>(i)] + 1)) {
            out.format = i;
        }
        if (head == QLatin1String(BaudHeads[static_cast<std::size_t>(i)])) {
            out.baud = i;
        }
    }
    return out;
}

QString lineSettingsValue(const QString& baudText, int formatPosition) {
    if (formatPosition < 0 || formatPosition >= static_cast<int>(FormatSuffixes.size())) {
        return baudText;
    }
    return baudText + QLatin1String(FormatSuffixes[static_cast<std::size_t>(formatPosition)]);
}

}  // namespace storedvalue
