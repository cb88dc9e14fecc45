// SPDX-License-Identifier: MIT
#include "app/config/sendverify.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "serial/mscomm.h"
#include "widgets/captionbutton.h"
#include "widgets/windowlayout.h"

namespace configui {

SendAndVerify::SendAndVerify(QWidget* window, MSComm& port, QPushButton* sendButton,
                             std::size_t imageBytes,
                             std::function<std::optional<finder::Probe>()> target,
                             std::function<std::optional<Sent>()> send)
    : QObject(window),
      sendButton_(sendButton),
      targetOf_(std::move(target)),
      send_(std::move(send)),
      finder_(port) {
    verifyButton = new ui::CaptionButton(QStringLiteral("Send && Verify"), window);
    verifyButton->setObjectName(QStringLiteral("cmdVerify"));
    settleLabel_ = new QLabel(QStringLiteral("Settle (ms)"), window);
    settleLabel_->setObjectName(QStringLiteral("lblSettle"));
    settleBox = new QSpinBox(window);
    settleBox->setObjectName(QStringLiteral("settleBox"));
    settleBox->setRange(0, 60'000);
    settleBox->setValue(static_cast<int>(finder::defaultSettle(imageBytes).count()));
    settleBox->setToolTip(
        QStringLiteral("Time the module is given to store the image before it is asked at its "
                       "new settings"));
    answerLabel = new QLabel(window);
    answerLabel->setObjectName(QStringLiteral("lblVerify"));
    answerLabel->setWordWrap(true);
    answerLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(verifyButton, &QPushButton::clicked, this, &SendAndVerify::verify);
    connect(&finder_, &serial::ModuleFinder::finished, this, &SendAndVerify::showEnd);
}

void SendAndVerify::place(Twips button, Twips settleLabel, Twips settle, Twips answer) {
    ui::place(verifyButton, button.left, button.top, button.width, button.height);
    ui::place(settleLabel_, settleLabel.left, settleLabel.top, settleLabel.width,
              settleLabel.height);
    ui::place(settleBox, settle.left, settle.top, settle.width, settle.height);
    ui::place(answerLabel, answer.left, answer.top, answer.width, answer.height);
}

void SendAndVerify::verify() {
    if (finder_.running()) {
        return;
    }
    answerLabel->clear();
    const std::optional<finder::Probe> target = targetOf_();
    if (!target) {
        return;
    }
    target_ = *target;
    uploaded_ = false;
    answeredBefore_ = false;
    answerLabel->setText(QStringLiteral("Asking address %1, %2 before the upload…")
                             .arg(target_.address)
                             .arg(finder::describe(target_.line)));
    setBusy(true);
    serial::ModuleFinder::Options o;
    o.allowance = finder::CheckAllowance;
    finder_.start({target_}, o);
}

void SendAndVerify::upload() {
    const std::optional<Sent> sent = send_();
    if (!sent) {
        answerLabel->clear();
        setBusy(false);
        return;
    }
    target_ = sent->target;
    uploaded_ = true;
    answerLabel->setText(QStringLiteral("Sent; asking address %1, %2…")
                             .arg(target_.address)
                             .arg(finder::describe(target_.line)));
    // The port stays at the upload settings for the next send; only the probe moves it.
    serial::ModuleFinder::Options o;
    o.allowance = finder::CheckAllowance;
    o.startDelay =
        finder::uploadWireTime(sent->bytes) + std::chrono::milliseconds(settleBox->value());
    finder_.start({target_}, o);
}

void SendAndVerify::setBusy(bool busy) {
    verifyButton->setEnabled(!busy);
    sendButton_->setEnabled(!busy);
}

void SendAndVerify::showEnd(const finder::Summary& s) {
    if (!s.error.isEmpty()) {
        setBusy(false);
        answerLabel->setText(s.error);
        return;
    }
    if (!uploaded_) {
        answeredBefore_ = !s.found.empty();
        // From the event loop: the search that just ended is still unwinding.
        QTimer::singleShot(0, this, &SendAndVerify::upload);
        return;
    }
    setBusy(false);
    if (!s.found.empty()) {
        answerLabel->setText(answeredBefore_ ? finder::answersAsBefore(target_)
                                             : finder::answersAt(target_));
    } else if (!s.unreadable.empty()) {
        answerLabel->setText(finder::unreadableAt(target_));
    } else {
        answerLabel->setText(finder::noAnswerAt(target_));
    }
}

}  // namespace configui
