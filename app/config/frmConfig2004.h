// SPDX-License-Identifier: MIT
#pragma once

// The configuration window of the Korvo-420: the module's serial parameters, four numeric
// display fields, the four-line start screen and the directions of the P2 header's eight
// pins, sent on "Send Config Data" and kept in the section "Cfg2004".

#include <array>
#include <vector>

#include "app/config/configwindow.h"
#include "core/image2004.h"

class QComboBox;
class QGroupBox;
class QPushButton;

class frmConfig2004 : public configui::ConfigWindow {
    Q_OBJECT
  public:
    // Opens the port on PortNumber, fills the lists and restores the stored choices.
    explicit frmConfig2004(QWidget* parent = nullptr);
    ~frmConfig2004() override;

    std::array<QComboBox*, image2004::FieldCount> cboWidth1{};
    std::array<QComboBox*, image2004::FieldCount> cboDP{};
    std::array<QComboBox*, image2004::FieldCount> cboLoc{};
    std::array<QComboBox*, image2004::FieldCount> cbosmsg{};
    std::array<QComboBox*, image2004::IoPins> cboIO{};
    QPushButton* cmdSend = nullptr;

    void cmdSend_Click();
    // Writes CfgData2004[0 .. imageLength-1] and one 0 in a single output.
    void SendCfgData(const std::int16_t& imageLength);

    // What the lists show now.
    image2004::Choices choices() const;

  private:
    void buildLayout();
    void Form_Load();
    void Form_Unload() override;
};
