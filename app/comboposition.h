#pragma once

// Drop-down lists that also take typed text, as every list of the main window does. Text
// typed into one that matches no item leaves it with no selection (position -1), and
// filling a list does not select anything by itself.

#include <QString>
#include <QStringList>

class QComboBox;

// Editable, typed text is never added as an item, and the box shows text until an item is
// chosen.
void makeEditableList(QComboBox* list, const QString& text);

// Appends items without changing the selection or the text shown.
void addListItems(QComboBox* list, const QStringList& items);

// Selects position p, or nothing (keeping the text shown) when p is not an item's.
void setListPosition(QComboBox* list, int p);
