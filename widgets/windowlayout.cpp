#include "widgets/windowlayout.h"

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

}  // namespace ui
