// SPDX-License-Identifier: MIT
#include "core/portlock.h"

#include <limits>

namespace portlock {

std::optional<qint64> ownerPid(QByteArrayView contents) {
    const qsizetype lineEnd = contents.indexOf('\n');
    const QByteArrayView line = (lineEnd < 0 ? contents : contents.first(lineEnd)).trimmed();
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    qsizetype digits = 0;
    while (digits < line.size() && digit(line[digits])) {
        ++digits;
    }
    // Ten digits at most, as the UUCP form pads them, and then the end or a blank.
    if (digits == 0 || digits > 10 ||
        (digits < line.size() && line[digits] != ' ' && line[digits] != '\t')) {
        return std::nullopt;
    }
    qint64 pid = 0;
    for (const char c : line.first(digits)) {
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return pid;
}

QStringList names(QStringView devicePath) {
    const QStringView underDev =
        devicePath.startsWith(u"/dev/") ? devicePath.sliced(5) : devicePath;
    QString qtName = underDev.toString();
    qtName.replace(u'/', u'_');
    const QStringView last = devicePath.sliced(devicePath.lastIndexOf(u'/') + 1);
    QStringList out{QStringLiteral("LCK..") + qtName};
    const QString uucpName = QStringLiteral("LCK..") + last.toString();
    if (uucpName != out.front()) {
        out << uucpName;
    }
    return out;
}

}  // namespace portlock
