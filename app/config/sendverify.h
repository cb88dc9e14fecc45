// SPDX-License-Identifier: MIT
#pragma once

// "Send & Verify" in a configuration window: one probe at the address, speed and format the
// image carries, the upload "Send Config Data" makes, then, once the module has had time to
// store it, the same probe again. The answer is shown in the window. The probe before the
// upload is what tells a module that took the image from one that was already there.

#include <QObject>

#include <functional>
#include <optional>

#include "core/finder.h"
#include "serial/modulefinder.h"

class MSComm;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace configui {

// What an upload put on the line: the place the module answers at afterwards and the
// number of bytes (for the time they take at 9600 8N1).
struct Sent {
    finder::Probe target;
    std::size_t bytes = 0;
};

class SendAndVerify : public QObject {
    Q_OBJECT
  public:
    // target tells where the window's choices put the module, with the port ready for an
    // upload, or nothing when the window refused (it has said why). send does what "Send
    // Config Data" does (sendButton's click) and tells what went out, or nothing when the
    // window refused or the port failed (the window has said why). imageBytes sets the
    // default settling time.
    SendAndVerify(QWidget* window, MSComm& port, QPushButton* sendButton, std::size_t imageBytes,
                  std::function<std::optional<finder::Probe>()> target,
                  std::function<std::optional<Sent>()> send);

    // Places the button, the settling time (label and box) and the answer line, in twips.
    struct Twips {
        int left, top, width, height;
    };
    void place(Twips button, Twips settleLabel, Twips settle, Twips answer);

    QPushButton* verifyButton = nullptr;
    QSpinBox* settleBox = nullptr;  // milliseconds
    QLabel* answerLabel = nullptr;

    void verify();

  private:
    void showEnd(const finder::Summary& s);
    void upload();
    void setBusy(bool busy);

    QPushButton* sendButton_;
    std::function<std::optional<finder::Probe>()> targetOf_;
    std::function<std::optional<Sent>()> send_;
    QLabel* settleLabel_ = nullptr;
    serial::ModuleFinder finder_;
    finder::Probe target_;
    bool uploaded_ = false;        // the probe under way is the one after the upload
    bool answeredBefore_ = false;  // the module answered at target_ before the upload
};

}  // namespace configui
