// SPDX-License-Identifier: MIT
#include "app/busmonitor/monitorwindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

#include "app/busmonitor/framerows.h"
#include "app/frmMain.h"
#include "core/finder.h"
#include "core/pcap.h"
#include "serial/traffic/trafficmodel.h"
#include "settings/ports.h"
#include "widgets/messagebox.h"
#include "widgets/rowtable.h"

namespace monitor {

namespace {

using ui::named;

constexpr int kHighestPort = 20;
// The figures beside the table are worked out at most this often, not per frame.
constexpr int kRefreshMs = 250;

const std::array<const char*, 9> kSlaveHeaders{"address",   "requests",   "replies",
                                               "no reply",  "CRC errors", "exceptions",
                                               "median ms", "95% ms",     "max ms"};

QString millis(std::optional<std::int64_t> us) {
    return us ? QString::number(static_cast<double>(*us) / 1000.0, 'f', 3) : QString();
}

// The same file for a symbolic link and its target: a port number mapped to a link and
// another to the device behind it are one port.
QString canonical(const QString& device) {
    const QString c = QFileInfo(device).canonicalFilePath();
    return c.isEmpty() ? device : c;
}

}  // namespace

MonitorWindow::MonitorWindow(frmMain* main, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("MonitorWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Monitor Bus"));

    portList = named(new QComboBox(this), "cboPort");
    for (int n = 1; n <= kHighestPort; ++n) {
        portList->addItem(QString::number(n));
    }
    baudList = named(new QComboBox(this), "cboBaud");
    for (const int b : finder::Bauds) {
        baudList->addItem(QString::number(b));
    }
    formatList = named(new QComboBox(this), "cboFormat");
    for (const finder::Format f : finder::Formats) {
        formatList->addItem(finder::formatName(f));
    }
    // Listening starts where the main window was set up to talk.
    if (main_ != nullptr) {
        const frmMain::LineChoice choice = main_->lineChoice();
        portList->setCurrentIndex(std::max(choice.portNumber - 1, 0));
        const auto baud = std::ranges::find(finder::Bauds, choice.baud);
        baudList->setCurrentIndex(
            baud == finder::Bauds.end() ? 0 : static_cast<int>(baud - finder::Bauds.begin()));
        formatList->setCurrentIndex(std::max(choice.formatIndex, 0));
    }
    slaveList = named(new QComboBox(this), "cboSlave");
    slaveList->addItem(QStringLiteral("All"));
    startButton = named(new QPushButton(QStringLiteral("Start"), this), "cmdStart");
    exportButton = named(new QPushButton(QStringLiteral("Export CSV…"), this), "cmdExport");
    captureButton = named(new QPushButton(QStringLiteral("Save Capture…"), this), "cmdCapture");
    statusLabel = named(new QLabel(this), "lblStatus");
    statusLabel->setWordWrap(true);
    droppedLabel = named(new QLabel(this), "lblDropped");

    rows_ = new FrameRows(FrameRows::DefaultCapacity, this);
    filter_ = new QSortFilterProxyModel(this);
    filter_->setSourceModel(rows_);
    filter_->setFilterKeyColumn(Address);
    frameTable = named(new QTableView(this), "grdFrames");
    frameTable->setModel(filter_);
    ui::setUpRowTable(frameTable);
    const QFontMetrics m = frameTable->fontMetrics();
    const std::array<const char*, ColumnCount - 1> widest{"000000000",
                                                          "00:00:00.000",
                                                          "20 /dev/ttyUSB19",
                                                          "request",
                                                          "01 10 00 00 00 03 06 48 65 6C 6C 6F",
                                                          "04 read input register 0x0000 ×1",
                                                          "#000000 CRC ok, answers #000000",
                                                          "000",
                                                          "00000.000",
                                                          "00000.000"};
    for (std::size_t c = 0; c < widest.size(); ++c) {
        const QString header =
            rows_->headerData(static_cast<int>(c), Qt::Horizontal, Qt::DisplayRole).toString();
        frameTable->setColumnWidth(static_cast<int>(c),
                                   std::max(m.horizontalAdvance(QString::fromUtf8(widest[c])),
                                            m.horizontalAdvance(header)) +
                                       16);
    }

    slaveTable =
        named(new QTableWidget(0, static_cast<int>(kSlaveHeaders.size()), this), "grdSlaves");
    QStringList headers;
    for (const char* h : kSlaveHeaders) {
        headers << QString::fromUtf8(h);
    }
    slaveTable->setHorizontalHeaderLabels(headers);
    slaveTable->verticalHeader()->hide();
    slaveTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    slaveTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* controls = new QHBoxLayout;
    const auto labelled = [&](const QString& text, QWidget* w) {
        auto* l = new QLabel(text, this);
        l->setBuddy(w);
        controls->addWidget(l);
        controls->addWidget(w);
    };
    labelled(QStringLiteral("&Port"), portList);
    labelled(QStringLiteral("&Baud"), baudList);
    labelled(QStringLiteral("F&ormat"), formatList);
    controls->addWidget(startButton);
    controls->addSpacing(12);
    labelled(QStringLiteral("S&lave"), slaveList);
    controls->addStretch(1);
    controls->addWidget(exportButton);
    controls->addWidget(captureButton);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(frameTable);
    split->addWidget(slaveTable);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({1330, 670});

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusLabel, 1);
    bottom->addWidget(droppedLabel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    resize(2000, 480);

    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (figuresStale_) {
            refreshSlaves();
        }
    });

    connect(startButton, &QPushButton::clicked, this, &MonitorWindow::startStop);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                         QStringLiteral("bus.csv"), QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty()) {
            exportCsv(path);
        }
    });
    connect(captureButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Capture"),
                                                          QStringLiteral("bus.pcap"),
                                                          QStringLiteral("pcap capture (*.pcap)"));
        if (!path.isEmpty()) {
            saveCapture(path);
        }
    });
    connect(slaveList, &QComboBox::currentIndexChanged, this, &MonitorWindow::applyFilter);
    connect(&monitor_, &busmonitor::BusMonitor::frame, this, &MonitorWindow::addFrame);
    connect(&monitor_, &busmonitor::BusMonitor::missed, this,
            [this](const busframe::Missed& missed) {
                rows_->markUnanswered(missed.requestNumber);
                figuresStale_ = true;
            });
    connect(&monitor_, &busmonitor::BusMonitor::failed, this,
            [this](const QString& reason) { stop(QStringLiteral("Stopped: %1").arg(reason)); });
    connect(rows_, &FrameRows::droppedChanged, this, &MonitorWindow::showDropped);
    // New rows keep the view at the bottom unless the user has scrolled up to read.
    connect(filter_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = frameTable->verticalScrollBar();
        followTail_ = bar->value() == bar->maximum();
    });
    connect(filter_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (followTail_) {
            frameTable->scrollToBottom();
        }
    });

    statusLabel->setText(
        QStringLiteral("Listens without sending: pick the port, speed and format, then Start."));
}

MonitorWindow::~MonitorWindow() = default;

int MonitorWindow::shownRows() const {
    return filter_->rowCount();
}

void MonitorWindow::closeEvent(QCloseEvent* event) {
    monitor_.stop();
    event->accept();
}

QString MonitorWindow::heldByMain(const QString& device) const {
    if (main_ == nullptr || !main_->connected()) {
        return {};
    }
    const QString held = settings::portDevice(main_->lineChoice().portNumber);
    return canonical(held) == canonical(device) ? held : QString();
}

void MonitorWindow::startStop() {
    if (monitor_.isRunning()) {
        stop();
    } else {
        start();
    }
}

void MonitorWindow::start() {
    const int port = portList->currentIndex() + 1;
    const QString device = settings::portDevice(port);
    if (!heldByMain(device).isEmpty()) {
        statusLabel->setText(QStringLiteral("Port %1 (%2) is held by the main window: disconnect "
                                            "there first, or pick another port.")
                                 .arg(port)
                                 .arg(device));
        return;
    }
    const finder::Line line{finder::Bauds[static_cast<std::size_t>(baudList->currentIndex())],
                            finder::Formats[static_cast<std::size_t>(formatList->currentIndex())]};
    rows_->clear();
    const QString why = monitor_.start(device, serial::parseSettings(finder::settingsString(line)));
    if (!why.isEmpty()) {
        statusLabel->setText(
            QStringLiteral("Port %1 (%2) cannot be opened: %3").arg(port).arg(device, why));
        return;
    }
    port_ = port;
    device_ = device;
    refreshSlaves();
    refresh_->start();
    startButton->setText(QStringLiteral("Stop"));
    for (QComboBox* c : {portList, baudList, formatList}) {
        c->setEnabled(false);
    }
    statusLabel->setText(QStringLiteral("Listening on port %1 (%2) at %3; nothing is sent.")
                             .arg(port)
                             .arg(device, finder::describe(line)));
}

void MonitorWindow::stop(const QString& why) {
    monitor_.stop();  // what was held comes out as a last frame
    refresh_->stop();
    refreshSlaves();
    startButton->setText(QStringLiteral("Start"));
    for (QComboBox* c : {portList, baudList, formatList}) {
        c->setEnabled(true);
    }
    statusLabel->setText(why.isEmpty() ? QStringLiteral("Stopped: %1 frames from port %2 (%3).")
                                             .arg(monitor_.tally().frames())
                                             .arg(port_)
                                             .arg(device_)
                                       : why);
}

void MonitorWindow::addFrame(const busframe::Frame& f) {
    Row row;
    row.frame = f;
    row.epochUs = monitor_.startEpochUs() + f.startUs;
    row.port = port_;
    row.device = device_;
    rows_->append(std::move(row));
    figuresStale_ = true;
    if (f.address) {
        const QString a = QString::number(*f.address);
        if (slaveList->findText(a) < 0) {
            // Addresses in order, after "All".
            int at = 1;
            while (at < slaveList->count() && slaveList->itemText(at).toInt() < *f.address) {
                ++at;
            }
            slaveList->insertItem(at, a);
        }
    }
}

void MonitorWindow::refreshSlaves() {
    figuresStale_ = false;
    const auto slaves = monitor_.tally().slaves();
    slaveTable->setRowCount(static_cast<int>(slaves.size()));
    for (std::size_t r = 0; r < slaves.size(); ++r) {
        const busstats::Slave& s = slaves[r];
        const QStringList cells{QString::number(s.address),
                                QString::number(s.requests),
                                QString::number(s.replies),
                                QString::number(s.noReply),
                                QString::number(s.crcErrors),
                                busstats::exceptionsText(s),
                                millis(s.medianUs),
                                millis(s.p95Us),
                                millis(s.maxUs)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = slaveTable->item(static_cast<int>(r), c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                slaveTable->setItem(static_cast<int>(r), c, item);
            }
            item->setText(cells[c]);
        }
    }
}

void MonitorWindow::applyFilter() {
    const QString a = slaveList->currentIndex() <= 0 ? QString() : slaveList->currentText();
    filter_->setFilterRegularExpression(
        a.isEmpty() ? QRegularExpression() : QRegularExpression(QStringLiteral("^%1$").arg(a)));
    frameTable->scrollToBottom();
}

void MonitorWindow::showDropped() {
    const auto dropped = rows_->dropped();
    droppedLabel->setText(dropped == 0 ? QString()
                                       : QStringLiteral("%1 older rows dropped to keep the last %2")
                                             .arg(dropped)
                                             .arg(rows_->capacity()));
}

bool MonitorWindow::exportCsv(const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(traffic::csvRecord(fileHeader()).toUtf8());
        for (int r = 0; r < filter_->rowCount(); ++r) {
            const int source = filter_->mapToSource(filter_->index(r, 0)).row();
            file.write(traffic::csvRecord(fileFields(rows_->row(source))).toUtf8());
        }
        if (file.commit()) {
            return true;
        }
    }
    ui::showMessage(
        this,
        QStringLiteral("The frames could not be written to %1: %2").arg(path, file.errorString()));
    return false;
}

bool MonitorWindow::saveCapture(const QString& path) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(pcap::fileHeader());
        for (int r = 0; r < filter_->rowCount(); ++r) {
            const Row& row = rows_->row(filter_->mapToSource(filter_->index(r, 0)).row());
            file.write(pcap::record(row.epochUs, row.frame.bytes));
        }
        if (file.commit()) {
            return true;
        }
    }
    ui::showMessage(
        this,
        QStringLiteral("The capture could not be written to %1: %2").arg(path, file.errorString()));
    return false;
}

}  // namespace monitor
