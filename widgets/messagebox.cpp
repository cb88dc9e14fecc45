// SPDX-License-Identifier: MIT
#include "widgets/messagebox.h"

namespace ui {

MessageHook messageHook = &showMessageBox;

namespace {

// Shown once and hidden since: the windows are hidden only by closing them. A window that
// is closing is still visible while it saves, so its own failure to save is still told.
bool closedWindow(const QWidget* parent) {
    if (parent == nullptr) {
        return false;
    }
    const QWidget* window = parent->window();
    return window->isHidden() && window->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

}  // namespace

void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    // What a closed window still finishes (a wait that ends, a port that fails, a timer it
    // set) is no longer the user's business: a box popping up from a window that is gone
    // only confuses.
    if (closedWindow(parent)) {
        return;
    }
    messageHook(parent, text, icon);
}

void showMessageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    makeMessageBox(parent, text, icon)->exec();
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text,
                                            QMessageBox::Icon icon) {
    auto box = std::make_unique<QMessageBox>(icon, QStringLiteral("Tessaline"), text,
                                             QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("messageBox"));
    return box;
}

}  // namespace ui
