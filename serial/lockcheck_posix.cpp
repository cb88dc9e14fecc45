#include "serial/lockcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>

#include "core/portlock.h"

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
