// SPDX-License-Identifier: MIT
#include "widgets/unshowablemark.h"

#include <QAction>
#include <QLineEdit>
#include <QStyle>

namespace ui {

QString unshowableTip(const QString& characters) {
    if (characters.isEmpty()) {
        return {};
    }
    const bool one = characters.toUcs4().size() == 1;
    return QStringLiteral("The module cannot show %1: %2 sent as \"?\".")
        .arg(codepage::quoted(characters),
             one ? QStringLiteral("it is") : QStringLiteral("they are"));
}

void markUnshowable(QLineEdit* box, const codepage::CodePage& codePage) {
    QAction* mark = box->addAction(box->style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                   QLineEdit::TrailingPosition);
    mark->setObjectName(QStringLiteral("unshowableMark"));
    const auto update = [box, mark, codePage](const QString& text) {
        const QString tip = unshowableTip(codepage::unshowable(codePage, text));
        mark->setVisible(!tip.isEmpty());
        mark->setToolTip(tip);
        box->setToolTip(tip);
    };
    QObject::connect(box, &QLineEdit::textChanged, mark, update);
    update(box->text());
}

}  // namespace ui
