#include "widgets/messagebox.h"

namespace ui {

MessageHook messageHook = &showMessageBox;

void showMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
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
