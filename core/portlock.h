// SPDX-License-Identifier: MIT
#pragma once

// Lock files that serial programs leave in the system's lock folder (/run/lock) while they
// hold a port: the owner's process id in ASCII, as UUCP programs such as minicom write it
// ("%10d\n", maybe followed by the program and user), or as Qt's QLockFile writes it (the
// id alone on the first line, then the program, the host and more lines). Both keep the id
// at the start of the first line.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace portlock {

// The owner's process id; nullopt when the first line does not start with one (an empty
// file, the binary form of old UUCP systems, anything else), and never 0 or below, which
// would name a process group rather than a process.
std::optional<qint64> ownerPid(QByteArrayView contents);

// The lock file names under which programs lock the device at path: Qt's (the path less
// "/dev/", each '/' made '_': /dev/pts/3 -> LCK..pts_3) and the UUCP one (its last part:
// LCK..3). For /dev/ttyUSB0 both are LCK..ttyUSB0, given once.
QStringList names(QStringView devicePath);

}  // namespace portlock
