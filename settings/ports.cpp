// SPDX-License-Identifier: MIT
#include "settings/ports.h"

#include <QDir>
#include <QFileInfo>

#include "core/portname.h"
#include "settings/inilocation.h"
#include "settings/modINI.h"

namespace {

#ifndef Q_OS_WIN
// A relative entry names a file beside the modlcd.ini it came from (a link such as
// korvo-sim --link keeps), wherever the program was started from. A bare name that is
// nothing there but a device under /dev ("ttyS0") stays that device, as the serial port
// itself would take it.
QString resolved(const QString& entry, const QString& iniFolder) {
    if (!QDir::isRelativePath(entry)) {
        return entry;
    }
    QString beside = QDir::cleanPath(QDir(iniFolder).absoluteFilePath(entry));
    QString device = QStringLiteral("/dev/") + entry;
    if (!entry.contains(u'/') && !QFileInfo::exists(beside) && QFileInfo::exists(device)) {
        return device;
    }
    return beside;
}
#endif

}  // namespace

namespace settings {

QString portDevice(int portNumber) {
#ifndef Q_OS_WIN
    const QString mapped = ReadINI(QStringLiteral("Ports"), QString::number(portNumber)).trimmed();
    if (!mapped.isEmpty()) {
        return resolved(mapped, QFileInfo(modINI::detail::readPath()).absolutePath());
    }
#endif
    return portname::defaultDevice(portNumber);
}

}  // namespace settings
