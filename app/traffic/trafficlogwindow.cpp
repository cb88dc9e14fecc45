#include "app/traffic/frmTrafficLog.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "serial/traffic/recorder.h"
#include "serial/traffic/trafficmodel.h"
#include "widgets/messagebox.h"

namespace {

// A table view lays itself out again, and repaints every visible cell, each time its row
// count changes. Rows appended at the end change nothing already drawn: only the space they
// take is repainted, and following them scrolls the pixels already there. While an exchange
// runs a row comes every few tens of milliseconds, so this is most of what the open log
// costs.
class TailTable final : public QTableView {
  public:
    using QTableView::QTableView;

    void doItemsLayout() override {
        const int from = std::exchange(appendedFrom_, -1);
        if (std::exchange(full_, false) || from < 0) {
            QTableView::doItemsLayout();
            return;
        }
        // Laying out again may move the rows (following the last one, the top is aligned to
        // the bottom; a longer range no longer is): the pixels move with them.
        const int offset = verticalHeader()->offset();
        updateGeometries();
        if (const int dy = offset - verticalHeader()->offset(); dy != 0) {
            scrollDirtyRegion(0, dy);
            viewport()->scroll(0, dy);
        }
        const int top = std::max(0, rowViewportPosition(from));
        if (top < viewport()->height()) {
            viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
        }
    }

    void reset() override {
        full_ = true;
        QTableView::reset();
    }

  protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override {
        if (parent.isValid() || end != model()->rowCount() - 1) {
            full_ = true;
        } else if (appendedFrom_ < 0) {
            appendedFrom_ = start;
        }
        QTableView::rowsInserted(parent, start, end);
    }

    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override {
        full_ = true;
        QTableView::rowsAboutToBeRemoved(parent, start, end);
    }

  private:
    int appendedFrom_ = -1;  // first row appended since the last layout
    bool full_ = false;      // something besides appending asks for a whole layout
};

}  // namespace

frmTrafficLog::frmTrafficLog(traffic::Model& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmTrafficLog"));
    setWindowTitle(QStringLiteral("Traffic Log"));

    lblDropped = new QLabel(this);
    lblDropped->setObjectName(QStringLiteral("lblDropped"));
    grdTraffic = new TailTable(this);
    grdTraffic->setObjectName(QStringLiteral("grdTraffic"));
    grdTraffic->setModel(&model_);
    grdTraffic->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdTraffic->setWordWrap(false);
    grdTraffic->setAlternatingRowColors(true);
    // Fixed row heights keep a hundred thousand rows cheap to scroll.
    grdTraffic->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdTraffic->verticalHeader()->setDefaultSectionSize(grdTraffic->fontMetrics().height() + 4);
    grdTraffic->verticalHeader()->hide();
    // The scroll bar changes with every batch of rows; filling its own background spares
    // the window and the table's frame behind it a repaint each time.
    grdTraffic->verticalScrollBar()->setAutoFillBackground(true);
    grdTraffic->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics m = grdTraffic->fontMetrics();
    const std::array<const char*, traffic::ColumnCount - 1> widest{
        "000000000",
        "00:00:00.000",
        "20 /dev/ttyUSB19",
        "rx",
        "01 10 00 00 00 03 06 48 65 6C 6C 6F",
        "04 read input register 0x0000 ×1, broadcast"};
    for (std::size_t c = 0; c < widest.size(); ++c) {
        grdTraffic->setColumnWidth(static_cast<int>(c),
                                   m.horizontalAdvance(QString::fromUtf8(widest[c])) + 16);
    }

    cmdClear = new QPushButton(QStringLiteral("Clear"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdCopy = new QPushButton(QStringLiteral("Copy"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdExport = new QPushButton(QStringLiteral("Export…"), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblDropped, 1);
    buttons->addWidget(cmdClear);
    buttons->addWidget(cmdCopy);
    buttons->addWidget(cmdExport);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdTraffic, 1);
    layout->addLayout(buttons);
    resize(1000, 420);

    connect(cmdClear, &QPushButton::clicked, &model_, &traffic::Model::clear);
    connect(cmdCopy, &QPushButton::clicked, this, &frmTrafficLog::copySelection);
    connect(cmdExport, &QPushButton::clicked, this, &frmTrafficLog::exportRows);
    connect(&model_, &traffic::Model::droppedChanged, this, &frmTrafficLog::showDropped);
    // New rows keep the view at the bottom unless the user has scrolled up to read.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = grdTraffic->verticalScrollBar();
        followTail_ = bar->value() == bar->maximum();
    });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followTail_) {
            grdTraffic->scrollToBottom();
        }
    });
    showDropped();
    grdTraffic->scrollToBottom();
}

namespace {

QPointer<frmTrafficLog> logWindow;

}  // namespace

frmTrafficLog* frmTrafficLog::showLog() {
    QPointer<frmTrafficLog>& window = logWindow;
    if (window.isNull()) {
        window = new frmTrafficLog(traffic::recorder().model());
        window->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                         [w = window.data()] { delete w; });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void frmTrafficLog::closeLog() {
    if (!logWindow.isNull()) {
        logWindow->close();
    }
}

void frmTrafficLog::showDropped() {
    const auto dropped = model_.dropped();
    lblDropped->setText(dropped == 0 ? QString()
                                     : QStringLiteral("%1 older rows dropped to keep the last %2")
                                           .arg(dropped)
                                           .arg(model_.capacity()));
}

QString frmTrafficLog::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& i : grdTraffic->selectionModel()->selectedRows()) {
        rows << i.row();
    }
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const int r : rows) {
        text += traffic::textLine(traffic::fileFields(model_.row(r)));
    }
    return text;
}

void frmTrafficLog::copySelection() {
    QApplication::clipboard()->setText(selectedText());
}

void frmTrafficLog::exportRows() {
    QString filter;
    const QString csvFilter = QStringLiteral("CSV (*.csv)");
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Traffic Log"), QStringLiteral("traffic.csv"),
        csvFilter + QStringLiteral(";;Plain text (*.txt)"), &filter);
    if (!path.isEmpty()) {
        exportTo(path, filter == csvFilter && !path.endsWith(QStringLiteral(".txt")));
    }
}

bool frmTrafficLog::exportTo(const QString& path, bool csv) {
    model_.flush();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const auto line = csv ? traffic::csvRecord : traffic::textLine;
        file.write(line(traffic::fileHeader()).toUtf8());
        for (int r = 0; r < model_.rowCount(); ++r) {
            file.write(line(traffic::fileFields(model_.row(r))).toUtf8());
        }
        if (file.commit()) {
            return true;
        }
    }
    ui::showMessage(this, QStringLiteral("The traffic log could not be written to %1: %2")
                              .arg(path, file.errorString()));
    return false;
}
