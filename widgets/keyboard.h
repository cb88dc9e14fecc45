// SPDX-License-Identifier: MIT
#pragma once

// Keyboard use of the windows: a Tab order that follows the reading order, and Enter on a
// focused button.

class QAbstractButton;
class QWidget;

namespace ui {

// Orders Tab through the controls of window as they are read: bands from top to bottom,
// within a band columns from left to right, a frame's controls together where the frame
// stands. Call it once the controls are placed.
void readingTabOrder(QWidget* window);

// Enter or Return on the focused button clicks it, as Space does.
void clickOnEnter(QAbstractButton* button);

}  // namespace ui
