// SPDX-License-Identifier: MIT
#include "widgets/keyboard.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <span>
#include <vector>

namespace ui {

namespace {

bool takesTab(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) != 0;
}

bool holdsTab(const QWidget* w) {
    const auto inside = w->findChildren<QWidget*>();
    return std::any_of(inside.begin(), inside.end(),
                       [](const QWidget* c) { return !c->isWindow() && takesTab(c); });
}

// Splits the items at the first gap that none of them spans, across the band (rows) when
// there is one, else down it (columns); items that cannot be split are in order already.
void readingOrder(std::span<QWidget*> items) {
    if (items.size() < 2) {
        return;
    }
    for (const bool rows : {true, false}) {
        const auto start = [rows](const QWidget* w) { return rows ? w->y() : w->x(); };
        const auto end = [rows](const QWidget* w) {
            return rows ? w->y() + w->height() : w->x() + w->width();
        };
        std::stable_sort(items.begin(), items.end(),
                         [&](const QWidget* a, const QWidget* b) { return start(a) < start(b); });
        int reach = end(items.front());
        for (std::size_t i = 1; i < items.size(); ++i) {
            if (start(items[i]) >= reach) {
                readingOrder(items.first(i));
                readingOrder(items.subspan(i));
                return;
            }
            reach = std::max(reach, end(items[i]));
        }
    }
}

void collect(const QWidget* container, std::vector<QWidget*>& out) {
    std::vector<QWidget*> items;
    for (QObject* child : container->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w != nullptr && !w->isWindow() && (takesTab(w) || holdsTab(w))) {
            items.push_back(w);
        }
    }
    readingOrder(items);
    for (QWidget* w : items) {
        if (takesTab(w)) {
            out.push_back(w);
        } else {
            collect(w, out);
        }
    }
}

class EnterClicks : public QObject {
  public:
    explicit EnterClicks(QAbstractButton* button) : QObject(button), button_(button) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != button_ || event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool plain =
            (key->modifiers() | Qt::KeypadModifier) == Qt::KeyboardModifiers(Qt::KeypadModifier);
        if (!enter || !plain || key->isAutoRepeat()) {
            return false;
        }
        button_->click();
        return true;
    }

  private:
    QAbstractButton* button_;
};

}  // namespace

void readingTabOrder(QWidget* window) {
    std::vector<QWidget*> order;
    collect(window, order);
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void clickOnEnter(QAbstractButton* button) {
    button->installEventFilter(new EnterClicks(button));
}

}  // namespace ui
