// SPDX-License-Identifier: MIT
#pragma once

// The window of korvo-sim --show: the module's display, and beside it its address, line
// settings, coils, IO pins and the last frames on the line. It only observes: every change
// comes in as a view of the module taken on the line's thread.

#include <QWidget>

#include <deque>
#include <string>
#include <vector>

#include "sim/display.h"

class QLabel;

namespace korvo {

class LcdView;

class ShowWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ShowWindow(const ModuleView& first, QWidget* parent = nullptr);

    // The module as it is now, and the log lines since the last view.
    void take(const ModuleView& view, const std::vector<std::string>& logged);

    LcdView* display() const { return lcd_; }
    QLabel* lineLabel() const { return line_; }
    QLabel* coilsLabel() const { return coils_; }
    QLabel* pinsLabel() const { return pins_; }
    QLabel* framesLabel() const { return frames_; }

  private:
    LcdView* lcd_;
    QLabel* line_;
    QLabel* coils_;
    QLabel* pins_;
    QLabel* frames_;
    std::deque<std::string> recent_;
};

// Whether a log line belongs in the window's list of frames: bytes on the line, and bursts
// that arrived garbled.
bool isFrameLine(const std::string& logged);

}  // namespace korvo
