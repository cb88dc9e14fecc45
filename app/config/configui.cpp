#include "app/config/configui.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include <array>
#include <cmath>

#include "app/modVar.h"
#include "serial/mscomm.h"
#include "settings/modINI.h"
#include "widgets/editablelist.h"
#include "widgets/messagebox.h"
#include "widgets/windowlayout.h"

namespace configui {

namespace {

bool openPort(MSComm& port) {
    try {
        port.CommPort(PortNumber.trimmed().toInt());
        port.Settings(QLatin1String(UploadSettings));
        port.PortOpen(true);
        return true;
    } catch (const CommError&) {
        return false;
    }
}

template <typename Bytes>
void output(QWidget* window, MSComm& port, const Bytes& image) {
    try {
        port.Output(image);
    } catch (const CommError&) {
        ui::showMessage(window, QLatin1String(ui::CommPortError));
    }
}

}  // namespace

void openUploadPort(QWidget* window, MSComm& port) {
    if (!openPort(port)) {
        QTimer::singleShot(0, window,
                           [window] { ui::showMessage(window, QLatin1String(ui::CommPortError)); });
    }
}

bool readyToSend(QWidget* window, MSComm& port, const std::optional<QString>& unselected) {
    if (unselected) {
        ui::showMessage(window,
                        QStringLiteral("Choose an item in the list \"%1\".").arg(*unselected));
        return false;
    }
    if (!port.PortOpen() && !openPort(port)) {
        ui::showMessage(window, QLatin1String(ui::CommPortError));
        return false;
    }
    return true;
}

void sendUpload(QWidget* window, MSComm& port, std::span<const std::uint8_t> image) {
    output(window, port, image);
}

void sendUpload(QWidget* window, MSComm& port, const QByteArray& image) {
    output(window, port, image);
}

QGroupBox* newFrame(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    ui::place(frame, left, top, width, height);
    return frame;
}

QLabel* newLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width, int height) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    ui::place(label, left, top, width, height);
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

void fillList(QComboBox* list, const QStringList& items) {
    list->clear();
    list->addItems(items);
    ui::setListPosition(list, -1);
}

void restoreList(QComboBox* list, const QString& section, const QString& key, int offset) {
    ui::setListPosition(list, restoredPosition(ReadINI(section, key), offset, list->count()));
}

void loadBaudFormat(const QString& section, QComboBox* baud, QComboBox* format) {
    fillList(baud, {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")});
    fillList(format, {QStringLiteral("8N1"), QStringLiteral("8N2"), QStringLiteral("8E1")});
    const BaudFormat cset = restoredCset(ReadINI(section, QStringLiteral("CSet")));
    ui::setListPosition(format, cset.format);
    ui::setListPosition(baud, cset.baud);
}

void saveBaudFormat(const QString& section, const QComboBox* baud, const QComboBox* format) {
    WriteINI(section, QStringLiteral("Cset"),
             csetValue(baud->currentText(), format->currentIndex()));
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
