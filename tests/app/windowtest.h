// SPDX-License-Identifier: MIT
#pragma once

// What the configuration window tests share: a settings folder with port 1 mapped to a
// pseudo-terminal, a record of the messages the windows would have shown, and closing a
// window the way the user does.

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

#include "app/modVar.h"
#include "settings/modINI.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"
#include "tests/support/widgettest.h"
#include "widgets/messagebox.h"

namespace testsupport {

struct Bench {
    IniFolder ini;
    PtyPair pty;

    Bench() {
        mapPort(1, pty.slavePath());
        PortNumber = QStringLiteral("1");
        recordMessages();
    }
    ~Bench() { ui::messageHook = &ui::showMessageBox; }

    static void mapPort(int number, const QString& device) {
        WriteINI(QStringLiteral("Ports"), QString::number(number), device);
    }
};

// Closes the window through its close box and lets it be deleted, as the event loop would.
inline void closeWindow(QWidget* window) {
    QPointer<QWidget> alive(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!alive.isNull()) {
        delete window;
    }
}

inline QByteArray bytesOf(const auto& array) {
    return QByteArray(reinterpret_cast<const char*>(array.data()),
                      static_cast<qsizetype>(array.size()));
}

}  // namespace testsupport
