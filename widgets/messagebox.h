// SPDX-License-Identifier: MIT
#pragma once

// Every message box of the three windows goes through one hook: caption "Tessaline", a
// single OK button, no icon unless asked for. Tests running offscreen replace the hook
// to see what would have been shown instead of blocking on a modal box.

#include <QMessageBox>
#include <QString>

#include <memory>

namespace ui {

inline constexpr auto CommPortError = "COMM PORT ERROR!";

using MessageHook = void (*)(QWidget* parent, const QString& text, QMessageBox::Icon icon);
extern MessageHook messageHook;

// Shows text through messageHook, unless parent's window has been closed: a closed window
// says nothing more.
void showMessage(QWidget* parent, const QString& text,
                 QMessageBox::Icon icon = QMessageBox::NoIcon);

// The hook the program runs with: builds the box below and waits for its OK.
void showMessageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon);
// The box is the caller's, to let go of before parent goes.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text,
                                            QMessageBox::Icon icon);

}  // namespace ui
