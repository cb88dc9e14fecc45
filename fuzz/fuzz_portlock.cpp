// SPDX-License-Identifier: MIT
// Lock files left by other programs, and lock names made from any device path. Beyond not
// crashing: an owner is a real process id (never 0 or below, which would ask after a whole
// process group) written at the start of the first line, and every name is a plain file
// name in the lock folder.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/portlock.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_portlock: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray contents(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<qint64> pid = portlock::ownerPid(contents)) {
        if (*pid <= 0 || *pid > std::numeric_limits<int>::max()) {
            fail("an owner that is no process id");
        }
        const qsizetype lineEnd = contents.indexOf('\n');
        const QByteArray firstLine = lineEnd < 0 ? contents : contents.first(lineEnd);
        if (!firstLine.contains(QByteArray::number(*pid))) {
            fail("an owner that the file does not name");
        }
    }
    for (const QString& name : portlock::names(QString::fromUtf8(contents))) {
        if (!name.startsWith(QStringLiteral("LCK..")) || name.contains(u'/')) {
            fail("a lock name that is no file name in the lock folder");
        }
    }
    return 0;
}
