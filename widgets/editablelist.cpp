// SPDX-License-Identifier: MIT
#include "widgets/editablelist.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "widgets/windowlayout.h"

namespace ui {

namespace {

// Shows text with no item selected. Leaving the selection clears the line, so the text
// goes back in afterwards, cursor and all.
void showUnselected(QComboBox* list, const QString& text) {
    const QSignalBlocker block(list);
    QLineEdit* line = list->lineEdit();
    const int cursor = line != nullptr ? line->cursorPosition() : 0;
    list->setCurrentIndex(-1);
    list->setEditText(text);
    if (line != nullptr) {
        line->setCursorPosition(cursor);
    }
}

}  // namespace

void makeEditableList(QComboBox* list, const QString& text, TypedMatch match) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // No completion: what the user types is what the list holds.
    list->setCompleter(nullptr);
    list->setEditText(text);
    const Qt::MatchFlags flags = match == TypedMatch::AnyCase
                                     ? Qt::MatchFixedString
                                     : Qt::MatchExactly | Qt::MatchCaseSensitive;
    QObject::connect(list, &QComboBox::editTextChanged, list, [list, flags](const QString& typed) {
        const int found = list->findText(typed, flags);
        if (found < 0) {
            if (list->currentIndex() >= 0) {
                showUnselected(list, typed);
            }
            return;
        }
        if (found == list->currentIndex() && list->itemText(found) == typed) {
            return;
        }
        const QSignalBlocker block(list);
        QLineEdit* line = list->lineEdit();
        const int cursor = line != nullptr ? line->cursorPosition() : 0;
        list->setCurrentIndex(found);
        // The item differs from what was typed in case only: the cursor stays where it was.
        list->setEditText(list->itemText(found));
        if (line != nullptr) {
            line->setCursorPosition(cursor);
        }
    });
}

QComboBox* newList(QWidget* parent, const QString& name, const QStringList& items, int left,
                   int top, int width, int height) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    makeEditableList(list, QString());
    list->setMaxVisibleItems(8);
    addListItems(list, items);
    place(list, left, top, width, height);
    return list;
}

void fillList(QComboBox* list, const QStringList& items) {
    list->clear();
    list->addItems(items);
    setListPosition(list, -1);
}

void addListItems(QComboBox* list, const QStringList& items) {
    const bool unselected = list->currentIndex() < 0;
    const QString shown = list->currentText();
    list->addItems(items);
    if (unselected && list->currentIndex() >= 0) {
        showUnselected(list, shown);
    }
}

void setListPosition(QComboBox* list, int p) {
    if (p >= 0 && p < list->count()) {
        list->setCurrentIndex(p);
    } else if (list->currentIndex() >= 0) {
        showUnselected(list, QString());
    }
}

}  // namespace ui
