// SPDX-License-Identifier: MIT
#include "serial/detail/lockcheck.h"

namespace serialdetail {

// Windows opens a COM port for one program at a time and keeps no lock files.

QStringList defaultLockFolders() {
    return {};
}

std::optional<QString> liveLock(const QString&, const QStringList&) {
    return std::nullopt;
}

std::optional<QString> permissionRefused(const QString&) {
    return std::nullopt;
}

}  // namespace serialdetail
