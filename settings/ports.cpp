#include "settings/ports.h"

#include "core/portname.h"
#include "settings/modINI.h"

namespace settings {

QString portDevice(int portNumber) {
#ifndef Q_OS_WIN
    QString mapped = ReadINI(QStringLiteral("Ports"), QString::number(portNumber)).trimmed();
    if (!mapped.isEmpty()) {
        return mapped;
    }
#endif
    return defaultPortDevice(portNumber);
}

}  // namespace settings
