// SPDX-License-Identifier: MIT
#pragma once

// The main window: the Modbus test bench. It opens the serial port with the connect
// button, sends one of four Modbus requests at a time and shows the bytes on the line.

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "core/modbus.h"
#include "serial/mscomm.h"
#include "settings/ports.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

class frmMain : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // True while an exchange waits for its reply.
    bool exchangeRunning() const { return waiting_; }

    // The line and module address chosen in the lists, which the finder and the bus
    // monitor start from. A field without a choice holds its "none" value.
    struct LineChoice {
        int portNumber = 0;      // 1 upwards; 0: no port selected
        int baud = 0;            // 9600, 19200 or 38400; 0: no speed chosen
        int formatIndex = -1;    // position in cboDF
        int slavePosition = -1;  // position in cboSlaveID, the address less one
        bool operator==(const LineChoice&) const = default;
    };
    LineChoice lineChoice() const;
    // Puts the speed, format and address of a choice into the lists; a field without a
    // choice leaves its list as it is.
    void useLineChoice(const LineChoice& choice);
    // Connected with the connect button: the port is held for the four requests.
    bool connected() const { return connected_; }

    // Menu and frames on the window.
    QAction* mnuCfg = nullptr;
    QMenu* toolsMenu = nullptr;
    QAction* findAction = nullptr;
    QAction* monitorAction = nullptr;
    QGroupBox* fComm = nullptr;
    QGroupBox* fID = nullptr;
    QPushButton* cmdConnect = nullptr;
    QGroupBox* fCom5 = nullptr;
    QGroupBox* fCom6 = nullptr;
    QGroupBox* fCom16 = nullptr;
    QGroupBox* fCom4 = nullptr;
    QGroupBox* fMonitor = nullptr;
    QTimer* Timer1 = nullptr;
    MSComm MSComm1{settings::portDevice};

    // Comm Port Settings
    QRadioButton* opt9600 = nullptr;
    QRadioButton* opt19200 = nullptr;
    QRadioButton* opt38400 = nullptr;
    QButtonGroup* optBaud = nullptr;
    QComboBox* cboDF = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cboComm = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cboModule = nullptr;
    QLabel* Label4 = nullptr;

    // Slave ID
    QComboBox* cboSlaveID = nullptr;
    QLabel* Label3 = nullptr;

    // Modbus Command 05
    QComboBox* cboAddr05 = nullptr;
    QLabel* Label8 = nullptr;
    QComboBox* cboData05 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* cmdSend05 = nullptr;

    // Modbus Command 06
    QComboBox* cboAddr06 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QComboBox* cboDataH06 = nullptr;
    QComboBox* cboDataL06 = nullptr;
    QPushButton* cmdSend06 = nullptr;

    // Modbus Command 16
    QComboBox* cboAddr16 = nullptr;
    QLabel* Label12 = nullptr;
    QLineEdit* txtMessage = nullptr;
    QPushButton* cmdSend16 = nullptr;

    // Modbus Command 04 - Read Input Registers
    QComboBox* cboAddr04 = nullptr;
    QPushButton* cmdSend04 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    std::array<QLabel*, 3> lblReg3x{};

    // Communication Monitor
    QLabel* Label6 = nullptr;
    QLabel* lblTxData = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lblRxData = nullptr;

    // Event handlers, public so that tests and the benchmark can drive them directly.
    void cmdConnect_Click();
    void cmdSend04_Click();
    void cmdSend05_Click();
    void cmdSend06_Click();
    void cmdSend16_Click();
    void mnuCfg_Click();
    void openFindWindow();
    void openMonitorWindow();
    void Timer1_Timer();

    void SetupModule();
    // A model is selected in cboModule (not text typed into it).
    bool moduleChosen() const;
    void SendFrame(const std::int16_t& frameLength);
    void ShowRxData(const std::int16_t& lastByteIndex);

  signals:
    void lineChoiceChanged(const frmMain::LineChoice& choice);
    void connectedChanged(bool connected);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void addToolsMenu();
    void addKeyboard();
    void Form_Load();
    void Form_Unload();

    // Closing the port and returning the controls to the Disconnected state, shared by
    // the connect button and the configuration menu.
    void closeModbusPort();
    void showDisconnected();

    // The port broke under a connection: tell the user and fall back to Disconnected.
    void onPortFailed();
    void reportPortFailure();

    // Closes the request (body: the bytes before its CRC), sends it through SendFrame, waits
    // on Timer1 and shows the outcome. Returns true when a reply of full length was read
    // into RxData (good or with a CRC error).
    bool runExchange(std::span<const std::uint8_t> body, const modbus::ExchangeShape& shape);
    // The closed request into TxFrame, its CRC bytes into CRCLo and CRCHi.
    static void closeRequest(std::span<const std::uint8_t> frame);
    // A list feeding a request byte has no selection: says so and sends nothing.
    bool needsSelection(const QComboBox* list, const QString& what);
    // Says in the monitor why nothing was sent.
    void refuseSend(const QString& why);
    // A register value in its label; one read from a reply that failed its CRC check is
    // greyed and says so in its tooltip.
    void showRegister(std::size_t position, const QString& text, bool trusted);
    void setBusy(bool busy);
    // Closing a window lets go of its port; a running exchange keeps it to the end of its
    // wait.
    void releasePort();

    // The speed each baud button stands for, the one place that pairs them.
    std::array<std::pair<int, QRadioButton*>, 3> baudButtons() const;
    void setConnected(bool on);

    bool connected_ = false;
    bool waiting_ = false;
    // How the last exchange ended; empty when the port failed under it.
    std::optional<modbus::Outcome> lastOutcome_;
    bool closedDuringWait_ = false;
    // Enabled states of the controls switched off during a wait, to restore after it.
    std::array<bool, 6> enabledBeforeWait_{};
    // The control with the focus before the wait, and where switching off the Send buttons
    // moved it: the focus goes back after the wait unless the user has moved it since.
    QPointer<QWidget> focusBeforeWait_;
    QPointer<QWidget> focusDuringWait_;
};
