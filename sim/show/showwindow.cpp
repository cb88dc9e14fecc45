// SPDX-License-Identifier: MIT
#include "sim/show/showwindow.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "sim/show/lcdview.h"

namespace korvo {

namespace {

constexpr std::size_t kRecentFrames = 8;
constexpr std::size_t kFrameChars = 60;  // a 110-byte upload would take a screen's width

QString onOff(const std::vector<bool>& coils) {
    QStringList parts;
    for (std::size_t c = 0; c < coils.size(); ++c) {
        parts << QStringLiteral("%1 %2").arg(c).arg(coils[c] ? QStringLiteral("on")
                                                             : QStringLiteral("off"));
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace

bool isFrameLine(const std::string& logged) {
    return logged.starts_with("rx ") || logged.starts_with("tx ") || logged.ends_with(": garbled");
}

ShowWindow::ShowWindow(const ModuleView& first, QWidget* parent)
    : QWidget(parent),
      lcd_(new LcdView(first.columns, static_cast<int>(first.lines.size()), this)),
      line_(new QLabel(this)),
      coils_(new QLabel(this)),
      pins_(new QLabel(this)),
      frames_(new QLabel(this)) {
    setWindowTitle(QString::fromStdString(first.title));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    frames_->setFont(fixed);
    frames_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    frames_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    frames_->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(int(kFrameChars), 'M')));
    frames_->setMinimumHeight(QFontMetrics(fixed).lineSpacing() * int(kRecentFrames));
    for (QLabel* l : {line_, coils_, pins_}) {
        l->setWordWrap(true);
    }

    auto* state = new QGridLayout;
    const auto caption = [&](int row, const char* text, QLabel* value) {
        auto* c = new QLabel(QString::fromUtf8(text), this);
        c->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        state->addWidget(c, row, 0);
        state->addWidget(value, row, 1);
    };
    caption(0, "Module:", line_);
    caption(1, "Coils:", coils_);
    caption(2, "IO pins:", pins_);
    caption(3, "Last frames:", frames_);
    state->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(lcd_, 0, Qt::AlignTop);
    top->addLayout(state, 1);
    setLayout(top);
    take(first, {});
}

void ShowWindow::take(const ModuleView& view, const std::vector<std::string>& logged) {
    lcd_->setLines(view.lines);
    line_->setText(
        QStringLiteral("slave %1 at %2").arg(view.address).arg(QString::fromStdString(view.line)));
    coils_->setText(onOff(view.coils));
    if (view.ioDirections) {
        QStringList pins;
        for (int pin = 1; pin <= 8; ++pin) {
            pins << QStringLiteral("%1 %2").arg(pin).arg((*view.ioDirections >> (pin - 1)) & 1U
                                                             ? QStringLiteral("OUT")
                                                             : QStringLiteral("IN"));
        }
        pins_->setText(pins.join(QStringLiteral(", ")));
    } else {
        pins_->setText(view.lines.size() == 4 ? QStringLiteral("not configured yet")
                                              : QStringLiteral("none on this model"));
    }
    bool more = false;
    for (const std::string& l : logged) {
        if (isFrameLine(l)) {
            recent_.push_back(l.size() <= kFrameChars ? l : l.substr(0, kFrameChars - 3) + "...");
            more = true;
        }
    }
    while (recent_.size() > kRecentFrames) {
        recent_.pop_front();
    }
    if (more || frames_->text().isEmpty()) {
        QStringList shown;
        for (const std::string& l : recent_) {
            shown << QString::fromStdString(l);
        }
        frames_->setText(shown.isEmpty() ? QStringLiteral("none yet") : shown.join('\n'));
    }
}

}  // namespace korvo
