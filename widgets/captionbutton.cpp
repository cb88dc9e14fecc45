// SPDX-License-Identifier: MIT
#include "widgets/captionbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace ui {

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    painter.drawText(rect().adjusted(margin, 0, -margin, 0),
                     Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
}

}  // namespace ui
