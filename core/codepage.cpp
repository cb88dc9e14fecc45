#include "core/codepage.h"

#include <QList>

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

}  // namespace codepage
