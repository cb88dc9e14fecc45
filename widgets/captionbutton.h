// SPDX-License-Identifier: MIT
#pragma once

// A button whose caption wraps onto a second line when it is narrower than the caption,
// as "Send Config Data" is in the 16x2 window.

#include <QPushButton>

namespace ui {

class CaptionButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace ui
