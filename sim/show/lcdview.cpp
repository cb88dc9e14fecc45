// SPDX-License-Identifier: MIT
#include "sim/show/lcdview.h"

#include <QFontDatabase>
#include <QPainter>

namespace korvo {

namespace {

constexpr int kCellWidth = 20;
constexpr int kCellHeight = 30;
constexpr int kGap = 3;
constexpr int kBezel = 8;
constexpr int kMargin = kBezel + 14;
const QColor kFrame(0x1C, 0x22, 0x18);
const QColor kGlass(0xA8, 0xC6, 0x4E);
const QColor kCell(0x98, 0xB4, 0x42);
const QColor kInk(0x1E, 0x2A, 0x12);

}  // namespace

LcdView::LcdView(int columns, int rows, QWidget* parent)
    : QWidget(parent),
      columns_(columns),
      rows_(rows),
      lines_(static_cast<std::size_t>(rows), std::string(static_cast<std::size_t>(columns), ' ')) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LcdView::setLines(const std::vector<std::string>& lines) {
    if (lines != lines_) {
        lines_ = lines;
        update();
    }
}

QSize LcdView::sizeHint() const {
    return {2 * kMargin + columns_ * kCellWidth + (columns_ - 1) * kGap,
            2 * kMargin + rows_ * kCellHeight + (rows_ - 1) * kGap};
}

void LcdView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kFrame);
    p.fillRect(rect().adjusted(kBezel, kBezel, -kBezel, -kBezel), kGlass);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(kCellHeight - 6);
    font.setBold(true);
    p.setFont(font);
    for (int r = 0; r < rows_; ++r) {
        const std::string& line =
            static_cast<std::size_t>(r) < lines_.size() ? lines_[static_cast<std::size_t>(r)] : "";
        for (int c = 0; c < columns_; ++c) {
            const QRect cell(kMargin + c * (kCellWidth + kGap), kMargin + r * (kCellHeight + kGap),
                             kCellWidth, kCellHeight);
            p.fillRect(cell, kCell);
            const auto ch = static_cast<std::size_t>(c) < line.size()
                                ? static_cast<unsigned char>(line[static_cast<std::size_t>(c)])
                                : ' ';
            if (ch >= 0x80) {
                // The upper half of the character ROM is not drawn glyph by glyph.
                p.fillRect(cell.adjusted(2, 3, -2, -3), kInk);
            } else if (ch > 0x20) {
                p.setPen(kInk);
                p.drawText(cell, Qt::AlignCenter, QString(QChar(ch)));
            }
        }
    }
}

}  // namespace korvo
