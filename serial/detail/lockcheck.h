// SPDX-License-Identifier: MIT
#pragma once

// Why a serial device cannot be opened, beyond what the serial port itself says: other
// programs' locks on it, and a user who may not use it.
//
// Other programs' locks on a serial device. A terminal program such as minicom holds a port
// through a lock file in the system's lock folder and nothing else: QSerialPort takes such a
// lock for stale and replaces it, so it is looked for before a port opens. Platform code
// lives in lockcheck_posix.cpp and lockcheck_win.cpp.

#include <QString>
#include <QStringList>

#include <optional>

namespace serialdetail {

// The folders other programs keep their lock files in: /run/lock and /var/lock, none on
// Windows (which lets one program at a time open a port by itself).
QStringList defaultLockFolders();

// A lock on the device at path, held by a process that is still running, described for a
// message ("process 1234 (lock file /run/lock/LCK..ttyUSB0)"); nullopt when there is none.
// Locks of processes that have ended are left for the port to take over.
std::optional<QString> liveLock(const QString& devicePath, const QStringList& folders);

// When the system refuses the device at path to this user for want of permission rather
// than because another program has it (on Linux, a user outside the group serial devices
// belong to): that, and the fix, for a message ("not permitted for user ann: add the user
// to group dialout (sudo adduser ann dialout), then log out and in again"). nullopt
// otherwise; always on Windows, where a refused port is one in use.
std::optional<QString> permissionRefused(const QString& devicePath);

}  // namespace serialdetail
