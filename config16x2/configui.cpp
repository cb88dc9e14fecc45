#include "configui.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <array>
#include <cmath>

namespace configui {

MessageHook showMessage = &showMessageBox;

void showMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tessaline"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

QFont windowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSizeF(8.25);
    return font;
}

int twips(const QWidget* w, int t) {
    return static_cast<int>(std::lround(t / 15.0 * w->logicalDpiX() / 96.0));
}

void place(QWidget* w, int left, int top, int width, int height) {
    const QWidget* ref = w->parentWidget() != nullptr ? w->parentWidget() : w;
    w->setGeometry(twips(ref, left), twips(ref, top), twips(ref, width), twips(ref, height));
}

QLabel* newLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    place(label, left, top, width, height);
    if (label->width() < label->sizeHint().width()) {
        label->resize(label->sizeHint().width(), label->height());
    }
    return label;
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    painter.drawText(rect().adjusted(margin, 0, -margin, 0),
                     Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
}

namespace {

// Leaving the selection clears the line, so the typed text goes back in afterwards.
void showUnselected(QComboBox* list, const QString& text) {
    const QSignalBlocker block(list);
    QLineEdit* line = list->lineEdit();
    const int cursor = line->cursorPosition();
    list->setCurrentIndex(-1);
    list->setEditText(text);
    line->setCursorPosition(cursor);
}

}  // namespace

QComboBox* newList(QWidget* parent, const QString& name, const QStringList& items, int left,
                   int top, int width, int height) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->setMaxVisibleItems(8);
    list->addItems(items);
    setListPosition(list, -1);
    place(list, left, top, width, height);
    QObject::connect(list, &QComboBox::editTextChanged, list, [list](const QString& typed) {
        const int match = list->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (match == list->currentIndex()) {
            return;
        }
        if (match < 0) {
            showUnselected(list, typed);
        } else {
            const QSignalBlocker block(list);
            list->setCurrentIndex(match);
        }
    });
    return list;
}

void setListPosition(QComboBox* list, int p) {
    if (p >= 0 && p < list->count()) {
        list->setCurrentIndex(p);
    } else {
        showUnselected(list, QString());
    }
}

QStringList numbers(int first, int last) {
    QStringList out;
    for (int n = first; n <= last; ++n) {
        out << QString::number(n);
    }
    return out;
}

int restoredPosition(const QString& stored, int offset, int count) {
    bool ok = false;
    const double value = stored.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return 0;
    }
    const double p = std::nearbyint(value - offset);
    if (p == -1.0) {
        return -1;
    }
    return p >= 0.0 && p < count ? static_cast<int>(p) : 0;
}

namespace {
constexpr std::array<const char*, 3> FormatSuffixes{",n,8,1", ",n,8,2", ",e,8,1"};
constexpr std::array<const char*, 3> BaudHeads{"9600,", "19200", "38400"};
}  // namespace

BaudFormat restoredCset(const QString& stored) {
    if (stored.isEmpty()) {
        return {0, 0};
    }
    BaudFormat out;
    const QString tail = stored.right(5);
    const QString head = stored.left(5);
    for (int i = 0; i < 3; ++i) {
        if (tail == QLatin1String(FormatSuffixes[static_cast<std::size_t>(i)] + 1)) {
            out.format = i;
        }
        if (head == QLatin1String(BaudHeads[static_cast<std::size_t>(i)])) {
            out.baud = i;
        }
    }
    return out;
}

QString csetValue(const QString& baudText, int formatPosition) {
    if (formatPosition < 0 || formatPosition >= static_cast<int>(FormatSuffixes.size())) {
        return baudText;
    }
    return baudText + QLatin1String(FormatSuffixes[static_cast<std::size_t>(formatPosition)]);
}

}  // namespace configui
