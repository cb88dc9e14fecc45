// SPDX-License-Identifier: MIT
#include "serial/detail/lockcheck.h"
#include "serial/detail/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/portlock.h"

namespace serialdetail {

namespace {

// A lock file is a line or a few; anything longer is not one.
constexpr qint64 maxLockBytes = 1024;

bool running(qint64 pid) {
    // Signal 0 only asks; a process of another user answers "not permitted", but is there.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

QStringList defaultLockFolders() {
    return {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")};
}

std::optional<QString> liveLock(const QString& devicePath, const QStringList& folders) {
    for (const QString& folder : folders) {
        for (const QString& name : portlock::names(devicePath)) {
            QFile file(QDir(folder).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const std::optional<qint64> pid = portlock::ownerPid(file.read(maxLockBytes));
            if (!pid || !running(*pid)) {
                qCDebug(serialdetail::serialLog).noquote()
                    << "lock file" << file.fileName() << "names no running process; not a lock";
                continue;
            }
            const QString owner = *pid == QCoreApplication::applicationPid()
                                      ? QStringLiteral("another window of this program")
                                      : QStringLiteral("process %1").arg(*pid);
            return QStringLiteral("%1 (lock file %2)").arg(owner, file.fileName());
        }
    }
    return std::nullopt;
}

std::optional<QString> permissionRefused(const QString& devicePath) {
    // The serial port reports a busy device and a forbidden one alike; the system's own
    // answer to opening it tells them apart. Nothing is read or written, and a device that
    // opens is closed at once.
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return std::nullopt;
    }
    if (errno != EACCES && errno != EPERM) {
        return std::nullopt;
    }
    const passwd* user = ::getpwuid(::geteuid());
    const QString name = user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString();
    const QString who = name.isEmpty() ? QStringLiteral("$USER") : name;
    struct stat info {};
    const group* owners = ::stat(path.constData(), &info) == 0 ? ::getgrgid(info.st_gid) : nullptr;
    const bool groupMayUse = owners != nullptr && info.st_gid != 0 &&
                             (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    const QString group =
        groupMayUse ? QString::fromLocal8Bit(owners->gr_name) : QStringLiteral("dialout");
    QString why = name.isEmpty() ? QStringLiteral("not permitted for this user: ")
                                 : QStringLiteral("not permitted for user %1: ").arg(name);
    if (!groupMayUse) {
        why += QStringLiteral(
                   "the device lets no group of users read and write it; give it to "
                   "group %1 (a udev rule, or chgrp and chmod g+rw), then ")
                   .arg(group);
    }
    return why + QStringLiteral(
                     "add the user to group %1 (sudo adduser %2 %1), then log out "
                     "and in again")
                     .arg(group, who);
}

}  // namespace serialdetail
