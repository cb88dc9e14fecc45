// SPDX-License-Identifier: MIT
#pragma once

// The windows were drawn in twips with Tahoma 8.25 pt; these keep them where they were
// drawn on any screen.

#include <QFont>
#include <QString>

class QGroupBox;
class QLabel;
class QWidget;

namespace ui {

// Tahoma 8.25 pt where it is installed; elsewhere a sans of similar width, so that the
// captions fit the places they were drawn for.
QFont windowFont();

// Twips to pixels at the widget's resolution: 15 twips per pixel at 96 dpi.
int twips(const QWidget* w, int t);

// Places w at left, top, width, height given in twips of its parent.
void place(QWidget* w, int left, int top, int width, int height);

// A frame with caption, placed in twips of parent.
QGroupBox* newFrame(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height);

// A label at least as wide as its caption, so that a wider fallback font does not clip it.
QLabel* newLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width, int height);

}  // namespace ui
