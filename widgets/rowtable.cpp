// SPDX-License-Identifier: MIT
#include "widgets/rowtable.h"

#include <QHeaderView>
#include <QTableView>

namespace ui {

void setUpRowTable(QTableView* table) {
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
}

}  // namespace ui
