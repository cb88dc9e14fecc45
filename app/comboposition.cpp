#include "comboposition.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

// Shows text with no item selected. Leaving the selection clears the line, so the text
// goes back in afterwards.
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

void makeEditableList(QComboBox* list, const QString& text) {
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // No completion: what the user types is what the list holds.
    list->setCompleter(nullptr);
    list->setEditText(text);
    QObject::connect(list, &QComboBox::editTextChanged, list, [list](const QString& typed) {
        const int match = list->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (match == list->currentIndex()) {
            return;
        }
        if (match < 0) {
            showUnselected(list, typed);
        } else {
            const QSignalBlocker block(list);
            list->setCurrentIndex(match);
        }
    });
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
