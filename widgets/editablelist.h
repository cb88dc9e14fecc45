// SPDX-License-Identifier: MIT
#pragma once

// Drop-down lists that also take typed text, as every list of the three windows does.
// Text typed into one that matches no item leaves it with no selection (position -1);
// text equal to an item selects that item. Filling a list does not select anything by
// itself.

#include <QString>
#include <QStringList>

class QComboBox;
class QWidget;

namespace ui {

// How typed text is compared with the items. A list matching any case shows the item's
// own text once typed text selects it, so what it shows is always an item or no item.
enum class TypedMatch { ExactCase, AnyCase };

// Editable, typed text is never added as an item, and the box shows text until an item is
// chosen.
void makeEditableList(QComboBox* list, const QString& text,
                      TypedMatch match = TypedMatch::ExactCase);

// A new editable list named name, filled with items and nothing selected, placed in twips
// of its parent and as high as a list of the windows is drawn.
QComboBox* newList(QWidget* parent, const QString& name, const QStringList& items, int left,
                   int top, int width, int height = 315);

// Replaces the items of list, leaving nothing selected.
void fillList(QComboBox* list, const QStringList& items);

// Appends items without changing the selection or the text shown.
void addListItems(QComboBox* list, const QStringList& items);

// Selects position p. When p is not an item's, the list is left with no selection: a
// selected item's text is cleared, typed text stays.
void setListPosition(QComboBox* list, int p);

}  // namespace ui
