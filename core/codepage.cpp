// SPDX-License-Identifier: MIT
#include "core/codepage.h"

#include <QList>
#include <QStringList>

namespace codepage {

QString unshowable(const CodePage& codePage, QStringView text) {
    QString out;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (c != U'?' && !out.contains(one) && codePage.fromUnicode(one) == "?") {
            out += one;
        }
    }
    return out;
}

QString quoted(QStringView characters) {
    QStringList each;
    for (const char32_t c : characters.toUcs4()) {
        each << QStringLiteral("\"%1\"").arg(QString::fromUcs4(&c, 1));
    }
    return each.join(QStringLiteral(", "));
}

}  // namespace codepage
