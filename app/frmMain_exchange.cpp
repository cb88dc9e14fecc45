// SPDX-License-Identifier: MIT
// The four Modbus commands and the exchange they share: one request, one fixed wait
// paced by Timer1, one look at the receive buffer.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include <algorithm>
#include <span>
#include <utility>

#include "app/frmMain.h"
#include "app/modVar.h"
#include "core/framewords.h"
#include "core/hex.h"
#include "serial/exchange.h"
#include "settings/ansicodepage.h"

namespace {

// With no slave selected the address byte would be 0, a broadcast that every module on the
// line carries out without replying; nobody chooses that from a list of real addresses.
const QString SlaveListName = QStringLiteral("a Slave ID");

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

}  // namespace

void frmMain::Timer1_Timer() {
    ++TickCount;
}

void frmMain::SendFrame(const std::int16_t& frameLength) {
    lblTxData->setText(QString());
    lblRxData->setText(QString());
    const auto n = static_cast<std::size_t>(std::clamp<int>(frameLength, 0, modVar::TxFrameSize));
    const auto request = std::span<const std::uint8_t>(TxFrame).first(n);
    MSComm1.Output(request);
    lblTxData->setText(hex::line(request));
}

void frmMain::ShowRxData(const std::int16_t& lastByteIndex) {
    const auto shown = std::clamp<qsizetype>(lastByteIndex + 1, 0, RxData.size());
    lblRxData->setText(lblRxData->text() +
                       hex::line(bytesOf(RxData).first(static_cast<std::size_t>(shown))));
}

void frmMain::closeRequest(std::span<const std::uint8_t> frame) {
    const std::size_t n = std::min(frame.size(), modVar::TxFrameSize);
    std::copy_n(frame.begin(), n, TxFrame.begin());
    // CRCLo and CRCHi show the CRC the request went out with, read from the closed frame
    // rather than computed a second time.
    if (n >= 2) {
        CRCLo = hex::byte(frame[n - 2]);
        CRCHi = hex::byte(frame[n - 1]);
    }
}

bool frmMain::needsSelection(const QComboBox* list, const QString& what) {
    if (list->currentIndex() >= 0) {
        return false;
    }
    refuseSend(QStringLiteral("Select %1 before sending").arg(what));
    return true;
}

void frmMain::refuseSend(const QString& why) {
    lblTxData->setText(QString());
    lblRxData->setText(why);
    lblRxData->setToolTip(QString());
}

void frmMain::showRegister(std::size_t position, const QString& text, bool trusted) {
    QLabel* label = lblReg3x[position];
    label->setText(text);
    // A value from a corrupt frame is still shown, since it may hint at what went wrong,
    // but it must not pass for a reading.
    label->setToolTip(trusted ? QString()
                              : QStringLiteral("from a reply that failed its CRC check"));
    QPalette p = label->palette();
    const QColor colour = fCom4->palette().color(trusted ? QPalette::Active : QPalette::Disabled,
                                                 QPalette::WindowText);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::WindowText, colour);
    }
    label->setPalette(p);
}

void frmMain::setBusy(bool busy) {
    const std::array<QWidget*, 5> buttons{cmdSend04, cmdSend05, cmdSend06, cmdSend16, cmdConnect};
    if (busy) {
        // A Send button switched off hands the focus on to the next control, often a list
        // with its text selected, where the next Space would replace the text.
        focusBeforeWait_ = focusWidget();
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            enabledBeforeWait_[i] = buttons[i]->isEnabledTo(buttons[i]->parentWidget());
            buttons[i]->setEnabled(false);
        }
        enabledBeforeWait_[5] = mnuCfg->isEnabled();
        mnuCfg->setEnabled(false);
        focusDuringWait_ = focusWidget();
        return;
    }
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setEnabled(enabledBeforeWait_[i]);
    }
    mnuCfg->setEnabled(enabledBeforeWait_[5]);
    if (std::exchange(closedDuringWait_, false)) {
        releasePort();
        return;
    }
    // Only a focus that the switching off moved goes back; one the user moved stays.
    if (focusBeforeWait_ != nullptr && focusBeforeWait_ != focusDuringWait_ &&
        focusWidget() == focusDuringWait_ && focusBeforeWait_->isEnabled()) {
        focusBeforeWait_->setFocus(Qt::OtherFocusReason);
    }
}

bool frmMain::runExchange(std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape) {
    waiting_ = true;
    setBusy(true);
    lastOutcome_.reset();
    lblRxData->setToolTip(QString());
    const exchange::Result r = exchange::run(MSComm1, body, shape, {Timer1, &TickCount},
                                             [this](std::span<const std::uint8_t> frame) {
                                                 closeRequest(frame);
                                                 SendFrame(static_cast<std::int16_t>(frame.size()));
                                             });
    setBusy(false);
    waiting_ = false;
    if (!r.started) {
        return false;
    }
    if (!r.outcome) {
        reportPortFailure();
        return false;
    }
    lastOutcome_ = r.outcome;
    if (!r.replyRead()) {
        lblRxData->setText(modbus::outcomeText(*r.outcome));
        if (*r.outcome == modbus::Outcome::Incomplete && r.exceptionCode) {
            lblRxData->setToolTip(
                QStringLiteral("The bytes left waiting are an exception reply: ") +
                framewords::exceptionName(*r.exceptionCode));
        }
        return false;
    }
    RxData = r.received;
    if (*r.outcome == modbus::Outcome::Good) {
        ShowRxData(static_cast<std::int16_t>(shape.replyLength - 1));
    } else {
        lblRxData->setText(modbus::outcomeText(modbus::Outcome::CrcError));
    }
    if (r.waitingBefore > 0) {
        lblRxData->setToolTip(
            QStringLiteral("Read behind %1 %2 that %3 waiting before the request went out")
                .arg(r.waitingBefore)
                .arg(r.waitingBefore == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"),
                     r.waitingBefore == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    }
    return true;
}

void frmMain::cmdSend04_Click() {
    if (waiting_ || needsSelection(cboSlaveID, SlaveListName) ||
        needsSelection(cboAddr04, QStringLiteral("a Register Address"))) {
        return;
    }
    const auto slave = modbus::slaveByte(cboSlaveID->currentIndex());
    if (!runExchange(modbus::read04(slave, cboAddr04->currentIndex()),
                     modbus::shapeOf(modbus::Command::Read04))) {
        return;
    }
    // The list may have changed during the wait; the value goes where it now points.
    const int position = cboAddr04->currentIndex();
    if (const auto text = modbus::registerText(position, bytesOf(RxData))) {
        showRegister(static_cast<std::size_t>(position), *text,
                     lastOutcome_ == modbus::Outcome::Good);
    }
}

void frmMain::cmdSend05_Click() {
    if (waiting_ || needsSelection(cboSlaveID, SlaveListName) ||
        needsSelection(cboAddr05, QStringLiteral("a Register Address"))) {
        return;
    }
    const auto slave = modbus::slaveByte(cboSlaveID->currentIndex());
    runExchange(modbus::coil05(slave, cboAddr05->currentIndex(), cboData05->currentText()),
                modbus::shapeOf(modbus::Command::Coil05));
}

void frmMain::cmdSend06_Click() {
    if (waiting_ || needsSelection(cboSlaveID, SlaveListName) ||
        needsSelection(cboAddr06, QStringLiteral("a Register Address")) ||
        needsSelection(cboDataH06, QStringLiteral("a Data Hi value")) ||
        needsSelection(cboDataL06, QStringLiteral("a Data Lo value"))) {
        return;
    }
    const auto slave = modbus::slaveByte(cboSlaveID->currentIndex());
    runExchange(modbus::register06(slave, cboAddr06->currentIndex(), cboDataH06->currentIndex(),
                                   cboDataL06->currentIndex()),
                modbus::shapeOf(modbus::Command::Register06));
}

void frmMain::cmdSend16_Click() {
    if (waiting_ || needsSelection(cboSlaveID, SlaveListName) ||
        needsSelection(cboAddr16, QStringLiteral("a Start Register Address"))) {
        return;
    }
    // A write of no registers is refused by every module; it would only leave an exception
    // reply waiting in front of the next exchange.
    if (txtMessage->text().isEmpty()) {
        refuseSend(QStringLiteral("Type a message before sending"));
        return;
    }
    const auto slave = modbus::slaveByte(cboSlaveID->currentIndex());
    const auto request = modbus::message16(
        slave, cboAddr16->currentIndex(), settings::ansiCodePage().fromUnicode(txtMessage->text()));
    // Byte 6 is the byte count of the message as sent (padded to an even length).
    runExchange(request, modbus::shapeOf(modbus::Command::Message16, request[6]));
}
