// SPDX-License-Identifier: MIT
#include "widgets/windowlayout.h"

#include <QGroupBox>
#include <QLabel>
#include <QWidget>

#include <cmath>

namespace ui {

QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSizeF(8.25);
    return font;
}

int twips(const QWidget* w, int t) {
    return static_cast<int>(std::lround(t / 15.0 * w->logicalDpiX() / 96.0));
}

void place(QWidget* w, int left, int top, int width, int height) {
    const QWidget* ref = w->parentWidget() != nullptr ? w->parentWidget() : w;
    w->setGeometry(twips(ref, left), twips(ref, top), twips(ref, width), twips(ref, height));
}

QGroupBox* newFrame(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    place(frame, left, top, width, height);
    return frame;
}

QLabel* newLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    place(label, left, top, width, height);
    if (label->width() < label->sizeHint().width()) {
        label->resize(label->sizeHint().width(), label->height());
    }
    return label;
}

}  // namespace ui
