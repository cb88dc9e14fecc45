// SPDX-License-Identifier: MIT
#include "core/portname.h"

namespace portname {

QString defaultDevice(int portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}

QString win32DevicePath(const QString& name) {
    const QString prefix = QStringLiteral("\\\\.\\");
    return name.startsWith(prefix) ? name : prefix + name;
}

}  // namespace portname
