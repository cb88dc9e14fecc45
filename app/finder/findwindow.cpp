// SPDX-License-Identifier: MIT
#include "app/finder/findwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "app/frmMain.h"
#include "serial/traffic/recorder.h"
#include "settings/ports.h"
#include "widgets/rowtable.h"
#include "widgets/windowlayout.h"

namespace finder {

namespace {

using ui::named;

}  // namespace

FindWindow::FindWindow(frmMain* main, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), port_(settings::portDevice) {
    setObjectName(QStringLiteral("frmFind"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Find Module"));
    setFont(ui::windowFont());
    port_.InputMode(MSComm::InputModeKind::Binary);
    // The probes are Modbus requests like the main window's, and go to the traffic log.
    traffic::recorder().watch(port_, framewords::Line::Modbus);

    portLabel = named(new QLabel(this), "portLabel");
    portLabel->setWordWrap(true);
    fromBox = named(new QSpinBox(this), "fromBox");
    toBox = named(new QSpinBox(this), "toBox");
    for (QSpinBox* box : {fromBox, toBox}) {
        box->setRange(finder::LowestAddress, finder::HighestAddress);
    }
    fromBox->setValue(finder::LowestAddress);
    toBox->setValue(finder::HighestAddress);
    allowanceBox = named(new QSpinBox(this), "allowanceBox");
    allowanceBox->setRange(0, 1000);
    allowanceBox->setSuffix(QStringLiteral(" ms"));
    allowanceBox->setValue(static_cast<int>(serial::ModuleFinder::DefaultAllowance.count() / 1000));
    allowanceBox->setToolTip(
        QStringLiteral("Time allowed beyond the line's own for an answer to start. Raise it for "
                       "a slow module or a USB adapter that holds bytes back (an FTDI adapter "
                       "with its latency timer at 16 ms needs about 20 ms)."));
    wholeBusBox = named(new QCheckBox(QStringLiteral("Search the whole bus"), this), "wholeBusBox");
    startButton = named(new QPushButton(QStringLiteral("Start"), this), "startButton");
    cancelButton = named(new QPushButton(QStringLiteral("Cancel"), this), "cancelButton");
    statusLabel = named(new QLabel(this), "statusLabel");
    statusLabel->setWordWrap(true);
    // Room for two lines from the start, and the widest time left, so that nothing below
    // them moves while a search fills them in.
    statusLabel->setMinimumHeight(2 * statusLabel->fontMetrics().lineSpacing());
    progressBar = named(new QProgressBar(this), "progressBar");
    timeLabel = named(new QLabel(this), "timeLabel");
    timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLabel->setMinimumWidth(
        timeLabel->fontMetrics().horizontalAdvance(QStringLiteral("9999.9 s left")));
    results = named(new QListWidget(this), "results");
    useButton = named(new QPushButton(QStringLiteral("Use these settings"), this), "useButton");

    auto* range = new QHBoxLayout;
    range->addWidget(fromBox);
    range->addWidget(new QLabel(QStringLiteral("to"), this));
    range->addWidget(toBox);
    range->addStretch();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Addresses"), range);
    form->addRow(QStringLiteral("Turnaround allowance"), allowanceBox);
    form->addRow(QString(), wholeBusBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    auto* progress = new QHBoxLayout;
    progress->addWidget(progressBar, 1);
    progress->addWidget(timeLabel);
    auto* use = new QHBoxLayout;
    use->addStretch();
    use->addWidget(useButton);
    auto* column = new QVBoxLayout(this);
    column->addWidget(portLabel);
    column->addLayout(form);
    column->addLayout(buttons);
    column->addWidget(statusLabel);
    column->addLayout(progress);
    column->addWidget(results, 1);
    column->addLayout(use);
    resize(ui::twips(this, 6600), ui::twips(this, 5400));

    connect(startButton, &QPushButton::clicked, this, &FindWindow::startSearch);
    connect(cancelButton, &QPushButton::clicked, &finder_, &serial::ModuleFinder::cancel);
    connect(useButton, &QPushButton::clicked, this, &FindWindow::useSettings);
    connect(results, &QListWidget::currentRowChanged, this, [this](int row) {
        useButton->setEnabled(!searching() && row >= 0 &&
                              results->item(row)->data(Qt::UserRole).isValid());
    });
    connect(&finder_, &serial::ModuleFinder::progress, this, &FindWindow::showProgress);
    connect(&finder_, &serial::ModuleFinder::answered, this, &FindWindow::showAnswer);
    connect(&finder_, &serial::ModuleFinder::finished, this, &FindWindow::showEnd);

    portLabel->setText(
        QStringLiteral("Searches on the port chosen in the main window, starting with its speed, "
                       "format and slave address, then address 1 at 9600 8N1."));
    if (main_->connected()) {
        statusLabel->setText(
            QStringLiteral("Disconnect in the main window first: the finder "
                           "needs the port while it searches."));
    }
    setSearching(false);
}

FindWindow::~FindWindow() = default;

std::optional<finder::Probe> FindWindow::mainWindowProbe() const {
    const frmMain::LineChoice choice = main_->lineChoice();
    if (choice.baud == 0) {
        return std::nullopt;
    }
    finder::Probe p;
    p.line.baud = choice.baud;
    const int format = choice.formatIndex;
    const int address = choice.slavePosition + 1;
    if (format < 0 || format >= static_cast<int>(finder::Formats.size()) ||
        address < finder::LowestAddress || address > finder::HighestAddress) {
        return std::nullopt;
    }
    p.line.format = finder::Formats[static_cast<std::size_t>(format)];
    p.address = address;
    return p;
}

void FindWindow::startSearch() {
    if (searching()) {
        return;
    }
    if (main_->connected()) {
        statusLabel->setText(
            QStringLiteral("Disconnect in the main window first: the finder "
                           "needs the port while it searches."));
        return;
    }
    const int portNumber = main_->lineChoice().portNumber;
    if (portNumber < 1) {
        statusLabel->setText(QStringLiteral("Select a port number in the main window first."));
        return;
    }
    if (fromBox->value() > toBox->value()) {
        statusLabel->setText(QStringLiteral("The addresses run from %1 to %2, backwards: give the "
                                            "lower address first.")
                                 .arg(fromBox->value())
                                 .arg(toBox->value()));
        return;
    }
    port_.CommPort(portNumber);
    results->clear();
    found_.clear();
    const auto plan = finder::plan({fromBox->value(), toBox->value()}, mainWindowProbe());
    progressBar->setRange(0, static_cast<int>(plan.size()));
    progressBar->setValue(0);
    // The port is named here rather than above the buttons, where a line more or less
    // would move them under the pointer; a long device path is cut in the middle.
    const QString device = statusLabel->fontMetrics().elidedText(
        settings::portDevice(portNumber), Qt::ElideMiddle, std::max(statusLabel->width() / 2, 80));
    statusLabel->setText(QStringLiteral("Opening port %1 (%2)…").arg(portNumber).arg(device));
    serial::ModuleFinder::Options o;
    o.allowance = std::chrono::milliseconds(allowanceBox->value());
    o.wholeBus = wholeBusBox->isChecked();
    setSearching(true);
    finder_.start(plan, o);
}

void FindWindow::showProgress(const finder::Progress& p) {
    statusLabel->setText(QStringLiteral("Trying address %1 at %2")
                             .arg(p.probe.address)
                             .arg(finder::describe(p.probe.line)));
    progressBar->setValue(p.done);
    progressBar->setFormat(QStringLiteral("%1 of %2 probes").arg(p.done).arg(p.total));
    timeLabel->setText(
        QStringLiteral("%1 s left").arg(std::chrono::duration<double>(p.left).count(), 0, 'f', 1));
}

void FindWindow::showAnswer(const finder::Answer& a) {
    const bool module = a.judgement.verdict == finder::Verdict::Found;
    QString text = module ? finder::answersAt(a.probe) : finder::unreadableAt(a.probe);
    if (a.judgement.value) {
        text += QStringLiteral(" (register 0 holds %1)").arg(*a.judgement.value);
    } else if (a.judgement.exceptionCode) {
        text += QStringLiteral(" (exception %1)").arg(*a.judgement.exceptionCode);
    }
    if (a.late) {
        text += QStringLiteral(", late: raise the allowance");
    }
    auto* item = new QListWidgetItem(text, results);
    if (module) {
        item->setData(Qt::UserRole, static_cast<int>(found_.size()));
        found_.push_back(a.probe);
        if (found_.size() == 1) {
            results->setCurrentItem(item);
        }
    }
}

void FindWindow::showEnd(const finder::Summary& s) {
    setSearching(false);
    progressBar->setValue(s.probes);
    progressBar->setFormat(QStringLiteral("%1 of %2 probes").arg(s.probes).arg(s.total));
    timeLabel->clear();
    QString text;
    if (!s.error.isEmpty()) {
        text = s.error;
    } else if (s.cancelled) {
        text = QStringLiteral("Cancelled after %1 of %2 probes").arg(s.probes).arg(s.total);
    } else if (!s.found.empty()) {
        text = QStringLiteral("%1 in %2 s")
                   .arg(finder::answersAt(s.found.front().probe))
                   .arg(s.seconds, 0, 'f', 2);
    } else {
        text = QStringLiteral("No module found: %1 probes in %2 s")
                   .arg(s.probes)
                   .arg(s.seconds, 0, 'f', 1);
    }
    if (s.echoSeen) {
        text += QStringLiteral(". The adapter echoes what it sends");
    }
    statusLabel->setText(text);
}

void FindWindow::useSettings() {
    const QListWidgetItem* item = results->currentItem();
    if (item == nullptr || !item->data(Qt::UserRole).isValid()) {
        return;
    }
    if (main_->connected()) {
        statusLabel->setText(
            QStringLiteral("Disconnect in the main window first, then use these settings."));
        return;
    }
    const finder::Probe p = found_[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())];
    main_->useLineChoice({.baud = p.line.baud,
                          .formatIndex = static_cast<int>(p.line.format),
                          .slavePosition = p.address - 1});
    statusLabel->setText(QStringLiteral("The main window now shows address %1, %2: press Connect "
                                        "there.")
                             .arg(p.address)
                             .arg(finder::describe(p.line)));
}

void FindWindow::setSearching(bool on) {
    startButton->setEnabled(!on);
    cancelButton->setEnabled(on);
    for (QWidget* w : std::initializer_list<QWidget*>{fromBox, toBox, allowanceBox, wholeBusBox}) {
        w->setEnabled(!on);
    }
    useButton->setEnabled(!on && results->currentItem() != nullptr &&
                          results->currentItem()->data(Qt::UserRole).isValid());
}

void FindWindow::closeEvent(QCloseEvent* event) {
    finder_.cancel();
    event->accept();
}

}  // namespace finder
