// SPDX-License-Identifier: MIT
#include "tests/support/inifolder.h"

#include <QFile>

#include "settings/modINI.h"

namespace testsupport {

IniFolder::IniFolder() {
    modINI::setFolder(dir_.path());
}

IniFolder::~IniFolder() {
    modINI::setFolder(QString());
}

QString IniFolder::iniFile() const {
    return dir_.filePath(QStringLiteral("modlcd.ini"));
}

void IniFolder::write(const QByteArray& bytes) const {
    QFile f(iniFile());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(bytes);
    }
}

QByteArray IniFolder::read() const {
    QFile f(iniFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace testsupport
