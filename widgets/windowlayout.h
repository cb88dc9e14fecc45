#pragma once

// The windows were drawn in twips with Tahoma 8.25 pt; these keep them where they were
// drawn on any screen.

#include <QFont>

class QWidget;

namespace ui {

// Tahoma 8.25 pt where it is installed; elsewhere a sans of similar width, so that the
// captions fit the places they were drawn for.
QFont windowFont();

// Twips to pixels at the widget's resolution: 15 twips per pixel at 96 dpi.
int twips(const QWidget* w, int t);

// Places w at left, top, width, height given in twips of its parent.
void place(QWidget* w, int left, int top, int width, int height);

}  // namespace ui
