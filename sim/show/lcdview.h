// SPDX-License-Identifier: MIT
#pragma once

// A character display drawn as an LCD: a green-yellow glass with one dark cell per
// character, the characters in the dark ink of the liquid crystal.

#include <QWidget>

#include <string>
#include <vector>

namespace korvo {

class LcdView : public QWidget {
    Q_OBJECT
  public:
    LcdView(int columns, int rows, QWidget* parent = nullptr);

    // One string per row, `columns` characters each.
    void setLines(const std::vector<std::string>& lines);
    const std::vector<std::string>& lines() const { return lines_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int columns_;
    int rows_;
    std::vector<std::string> lines_;
};

}  // namespace korvo
