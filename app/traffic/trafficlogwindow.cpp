// SPDX-License-Identifier: MIT
#include "app/traffic/trafficlogwindow.h"

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
#include "widgets/rowtable.h"

namespace traffic {

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

TrafficLogWindow::TrafficLogWindow(traffic::Model& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmTrafficLog"));
    setWindowTitle(QStringLiteral("Traffic Log"));

    droppedLabel = new QLabel(this);
    droppedLabel->setObjectName(QStringLiteral("lblDropped"));
    trafficTable = new TailTable(this);
    trafficTable->setObjectName(QStringLiteral("grdTraffic"));
    trafficTable->setModel(&model_);
    ui::setUpRowTable(trafficTable);
    // The scroll bar changes with every batch of rows; filling its own background spares
    // the window and the table's frame behind it a repaint each time.
    trafficTable->verticalScrollBar()->setAutoFillBackground(true);
    const QFontMetrics m = trafficTable->fontMetrics();
    const std::array<const char*, traffic::ColumnCount - 1> widest{
        "000000000",
        "00:00:00.000",
        "20 /dev/ttyUSB19",
        "rx",
        "01 10 00 00 00 03 06 48 65 6C 6C 6F",
        "04 read input register 0x0000 ×1, broadcast"};
    for (std::size_t c = 0; c < widest.size(); ++c) {
        trafficTable->setColumnWidth(static_cast<int>(c),
                                     m.horizontalAdvance(QString::fromUtf8(widest[c])) + 16);
    }

    clearButton = new QPushButton(QStringLiteral("Clear"), this);
    clearButton->setObjectName(QStringLiteral("cmdClear"));
    copyButton = new QPushButton(QStringLiteral("Copy"), this);
    copyButton->setObjectName(QStringLiteral("cmdCopy"));
    exportButton = new QPushButton(QStringLiteral("Export…"), this);
    exportButton->setObjectName(QStringLiteral("cmdExport"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(droppedLabel, 1);
    buttons->addWidget(clearButton);
    buttons->addWidget(copyButton);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(trafficTable, 1);
    layout->addLayout(buttons);
    resize(1000, 420);

    connect(clearButton, &QPushButton::clicked, &model_, &traffic::Model::clear);
    connect(copyButton, &QPushButton::clicked, this, &TrafficLogWindow::copySelection);
    connect(exportButton, &QPushButton::clicked, this, &TrafficLogWindow::exportRows);
    connect(&model_, &traffic::Model::droppedChanged, this, &TrafficLogWindow::showDropped);
    // New rows keep the view at the bottom unless the user has scrolled up to read.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = trafficTable->verticalScrollBar();
        followTail_ = bar->value() == bar->maximum();
    });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followTail_) {
            trafficTable->scrollToBottom();
        }
    });
    showDropped();
    trafficTable->scrollToBottom();
}

namespace {

QPointer<TrafficLogWindow> logWindow;

}  // namespace

TrafficLogWindow* TrafficLogWindow::showLog() {
    QPointer<TrafficLogWindow>& window = logWindow;
    if (window.isNull()) {
        window = new TrafficLogWindow(traffic::recorder().model());
        window->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                         [w = window.data()] { delete w; });
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void TrafficLogWindow::closeLog() {
    if (!logWindow.isNull()) {
        logWindow->close();
    }
}

void TrafficLogWindow::showDropped() {
    const auto dropped = model_.dropped();
    droppedLabel->setText(dropped == 0 ? QString()
                                       : QStringLiteral("%1 older rows dropped to keep the last %2")
                                             .arg(dropped)
                                             .arg(model_.capacity()));
}

QString TrafficLogWindow::selectedText() const {
    QList<int> rows;
    for (const QModelIndex& i : trafficTable->selectionModel()->selectedRows()) {
        rows << i.row();
    }
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const int r : rows) {
        text += traffic::textLine(traffic::fileFields(model_.row(r)));
    }
    return text;
}

void TrafficLogWindow::copySelection() {
    QApplication::clipboard()->setText(selectedText());
}

void TrafficLogWindow::exportRows() {
    QString filter;
    const QString csvFilter = QStringLiteral("CSV (*.csv)");
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Traffic Log"), QStringLiteral("traffic.csv"),
        csvFilter + QStringLiteral(";;Plain text (*.txt)"), &filter);
    if (!path.isEmpty()) {
        exportTo(path, filter == csvFilter && !path.endsWith(QStringLiteral(".txt")));
    }
}

bool TrafficLogWindow::exportTo(const QString& path, bool csv) {
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

}  // namespace traffic
