// SPDX-License-Identifier: MIT
#pragma once

// The configuration window of the Korvo-216 / Korvo-216S: the module's serial
// parameters, two numeric display fields, the start-up screen and six stored messages,
// sent as one image on "Send Config Data" and kept in the section "Cfg1602".

#include <array>
#include <vector>

#include "app/config/configwindow.h"
#include "core/image1602.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class frmConfig1602 : public configui::ConfigWindow {
    Q_OBJECT
  public:
    // Opens the port on PortNumber, fills the lists and restores the stored choices.
    explicit frmConfig1602(QWidget* parent = nullptr);
    ~frmConfig1602() override;

    QComboBox* cboW1 = nullptr;
    QComboBox* cboDP1 = nullptr;
    QComboBox* cboSP1 = nullptr;
    QComboBox* cboW2 = nullptr;
    QComboBox* cboDP2 = nullptr;
    QComboBox* cboSP2 = nullptr;
    QComboBox* cboSpage1 = nullptr;
    QComboBox* cboSpage2 = nullptr;
    std::array<QLineEdit*, image1602::MessageCount> txtMessage{};
    QPushButton* cmdConfig = nullptr;

    image1602::Image CfgData1602{};
    QByteArray MsgBytes;

    void cmdConfig_Click();

    // What the lists and boxes show now.
    image1602::Choices choices() const;

  private:
    void buildLayout();
    void Form_Load();
    void Form_Unload() override;
};
