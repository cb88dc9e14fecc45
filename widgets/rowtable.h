// SPDX-License-Identifier: MIT
#pragma once

// Pieces the windows that list many rows (the traffic log, the bus monitor, the finder)
// share.

#include <QLatin1String>

class QTableView;

namespace ui {

// Gives w the object name tests and screenshots find it by; returns w.
template <typename W>
W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

// A table that may grow to a hundred thousand rows: whole rows selected, no wrapping,
// alternating colours, fixed row heights (cheap to scroll), no row numbers, the last column
// taking what is left.
void setUpRowTable(QTableView* table);

}  // namespace ui
