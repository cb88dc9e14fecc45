#include "app/config/sendverify.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "serial/mscomm.h"
#include "widgets/captionbutton.h"
#include "widgets/windowlayout.h"

namespace configui {

SendAndVerify::SendAndVerify(QWidget* window, MSComm& port, QPushButton* sendButton,
                             std::size_t imageBytes, std::function<std::optional<Sent>()> send)
    : QObject(window), sendButton_(sendButton), send_(std::move(send)), finder_(port) {
    cmdVerify = new ui::CaptionButton(QStringLiteral("Send && Verify"), window);
    cmdVerify->setObjectName(QStringLiteral("cmdVerify"));
    settleLabel_ = new QLabel(QStringLiteral("Settle (ms)"), window);
    settleLabel_->setObjectName(QStringLiteral("lblSettle"));
    settleBox = new QSpinBox(window);
    settleBox->setObjectName(QStringLiteral("settleBox"));
    settleBox->setRange(0, 60'000);
    settleBox->setValue(static_cast<int>(finder::defaultSettle(imageBytes).count()));
    settleBox->setToolTip(
        QStringLiteral("Time the module is given to store the image before it is asked at its "
                       "new settings"));
    lblVerify = new QLabel(window);
    lblVerify->setObjectName(QStringLiteral("lblVerify"));
    lblVerify->setWordWrap(true);
    lblVerify->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(cmdVerify, &QPushButton::clicked, this, &SendAndVerify::cmdVerify_Click);
    connect(&finder_, &ModuleFinder::finished, this, &SendAndVerify::showEnd);
}

void SendAndVerify::place(Twips button, Twips settleLabel, Twips settle, Twips answer) {
    ui::place(cmdVerify, button.left, button.top, button.width, button.height);
    ui::place(settleLabel_, settleLabel.left, settleLabel.top, settleLabel.width,
              settleLabel.height);
    ui::place(settleBox, settle.left, settle.top, settle.width, settle.height);
    ui::place(lblVerify, answer.left, answer.top, answer.width, answer.height);
}

void SendAndVerify::cmdVerify_Click() {
    if (finder_.running()) {
        return;
    }
    lblVerify->clear();
    const std::optional<Sent> sent = send_();
    if (!sent) {
        return;
    }
    target_ = sent->target;
    lblVerify->setText(QStringLiteral("Sent; asking address %1, %2…")
                           .arg(target_.address)
                           .arg(finder::describe(target_.line)));
    // The port stays at the upload settings for the next send; only the probe moves it.
    cmdVerify->setEnabled(false);
    sendButton_->setEnabled(false);
    ModuleFinder::Options o;
    o.startDelay =
        finder::uploadWireTime(sent->bytes) + std::chrono::milliseconds(settleBox->value());
    finder_.start({target_}, o);
}

void SendAndVerify::showEnd(const finder::Summary& s) {
    cmdVerify->setEnabled(true);
    sendButton_->setEnabled(true);
    if (!s.error.isEmpty()) {
        lblVerify->setText(s.error);
    } else if (!s.found.empty()) {
        lblVerify->setText(finder::answersAt(target_));
    } else if (!s.unreadable.empty()) {
        lblVerify->setText(finder::unreadableAt(target_));
    } else {
        lblVerify->setText(finder::noAnswerAt(target_));
    }
}

}  // namespace configui
