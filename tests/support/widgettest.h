// SPDX-License-Identifier: MIT
#pragma once

// What the window tests share: typing into an editable list key by key as the user does, a
// record of the message boxes the windows would have shown, and closing every window the
// way the event loop would once a test is over. For tests that link the window code.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>

#include "widgets/messagebox.h"

namespace testsupport {

inline void typeInto(QComboBox* list, const QString& text) {
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
}

inline QStringList& shownMessages() {
    static QStringList messages;
    return messages;
}

// From now on, and from an empty record, message boxes are recorded instead of shown.
inline void recordMessages() {
    shownMessages().clear();
    ui::messageHook = [](QWidget*, const QString& text, QMessageBox::Icon) {
        shownMessages() << text;
    };
}

inline void closeAllWindows() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        top->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace testsupport
