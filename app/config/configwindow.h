// SPDX-License-Identifier: MIT
#pragma once

// What both configuration windows are made of alike: a window of its own that is deleted on
// closing, the "LCD Comm Parameters" frame with the module's address, baud rate and data
// format, the port that uploads, and the lists in the order of the image's field table.

#include <QPushButton>
#include <QWidget>

#include <optional>
#include <vector>

#include "app/config/configui.h"
#include "app/config/sendverify.h"
#include "core/finder.h"
#include "serial/mscomm.h"
#include "settings/ports.h"

class QComboBox;
class QGroupBox;

namespace configui {

class ConfigWindow : public QWidget {
    Q_OBJECT
  public:
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QComboBox* cboaddr = nullptr;
    QComboBox* cbobaud = nullptr;
    QComboBox* cboDF = nullptr;
    MSComm MSComm1{settings::portDevice};

  protected:
    explicit ConfigWindow(QWidget* parent);
    ~ConfigWindow() override;

    // Frame1 with its three lists, at left (twips) and width wide.
    void buildCommFrame(int left, int width);

    // Each window keeps its choices as it closes.
    virtual void Form_Unload() = 0;
    void closeEvent(QCloseEvent* event) override;

    // "Send & Verify" beside send: the place the window's choices put the module, once the
    // window agrees to send them, and what its send button put on the line.
    template <typename Window, typename Choices>
    SendAndVerify* addSendAndVerify(Window* window, QPushButton* send, std::size_t imageBytes,
                                    std::optional<QString> (*unselected)(const Choices&),
                                    void (Window::*click)()) {
        const auto placeOf = [](const Choices& c) {
            return finder::placeOf(c.address, c.baud, c.dataFormat);
        };
        return new SendAndVerify(
            this, MSComm1, send, imageBytes,
            [this, window, unselected, placeOf]() -> std::optional<finder::Probe> {
                const Choices c = window->choices();
                if (!readyToSend(this, MSComm1, unselected(c))) {
                    return std::nullopt;
                }
                return placeOf(c);
            },
            [this, window, unselected, click, imageBytes, placeOf]() -> std::optional<Sent> {
                const Choices c = window->choices();
                const bool complete = !unselected(c);
                (window->*click)();
                if (!complete || !MSComm1.PortOpen()) {
                    return std::nullopt;
                }
                return Sent{placeOf(c), imageBytes};
            });
    }

    // The control of each row of the window's field table, in its order.
    std::vector<QComboBox*> lists_;
};

}  // namespace configui
