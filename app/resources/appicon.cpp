// SPDX-License-Identifier: MIT
#include "app/resources/appicon.h"

#include <QSize>
#include <QString>

namespace resources {

QIcon appIcon() {
    QIcon icon;
    // Drawn sizes only: a title bar takes 16 or 32, a task switcher 48.
    for (const int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/tessaline/tessaline-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace resources
