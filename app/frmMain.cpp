// SPDX-License-Identifier: MIT
#include "app/frmMain.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

#include "app/busmonitor/monitorwindow.h"
#include "app/configswitch.h"
#include "app/finder/findwindow.h"
#include "app/modVar.h"
#include "app/traffic/trafficlogwindow.h"
#include "core/hex.h"
#include "core/storedvalue.h"
#include "settings/modINI.h"
#include "widgets/editablelist.h"
#include "widgets/messagebox.h"

using namespace ui;

namespace {

// "0x" and a fixed number of hexadecimal digits, as the lists show numbers.
QString hex2(int v) {
    return QStringLiteral("0x") + hex::number(static_cast<unsigned>(v), 2);
}
QString hex4(int v) {
    return QStringLiteral("0x") + hex::number(static_cast<unsigned>(v), 4);
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    buildLayout();
    addToolsMenu();
    addKeyboard();

    connect(mnuCfg, &QAction::triggered, this, &frmMain::mnuCfg_Click);
    connect(cmdConnect, &QPushButton::clicked, this, &frmMain::cmdConnect_Click);
    connect(cmdSend04, &QPushButton::clicked, this, &frmMain::cmdSend04_Click);
    connect(cmdSend05, &QPushButton::clicked, this, &frmMain::cmdSend05_Click);
    connect(cmdSend06, &QPushButton::clicked, this, &frmMain::cmdSend06_Click);
    connect(cmdSend16, &QPushButton::clicked, this, &frmMain::cmdSend16_Click);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(optBaud, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
        if (on) {
            emit lineChoiceChanged(lineChoice());
        }
    });
    for (QComboBox* list : {cboComm, cboDF, cboSlaveID}) {
        connect(list, &QComboBox::currentIndexChanged, this,
                [this] { emit lineChoiceChanged(lineChoice()); });
    }
    connect(&MSComm1, &MSComm::portFailed, this, &frmMain::onPortFailed);

    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    addListItems(cboDF, {QStringLiteral("8N1"), QStringLiteral("8N2"), QStringLiteral("8E1")});
    addListItems(cboModule, {QStringLiteral("Korvo-216"), QStringLiteral("Korvo-420")});
    QStringList ports;
    for (int p = 1; p <= 20; ++p) {
        ports << QString::number(p);
    }
    addListItems(cboComm, ports);
    QStringList slaves;
    for (int s = 1; s <= 255; ++s) {
        slaves << QString::number(s);
    }
    addListItems(cboSlaveID, slaves);
    QStringList bytes;
    for (int v = 0; v <= 255; ++v) {
        bytes << hex2(v);
    }
    addListItems(cboDataH06, bytes);
    addListItems(cboDataL06, bytes);

    PortNumber = ReadINI(QStringLiteral("Settings"), QStringLiteral("CommPort"));
    PortSettings = ReadINI(QStringLiteral("Settings"), QStringLiteral("Setting"));
    SlaveAddress = ReadINI(QStringLiteral("LCD"), QStringLiteral("Slave"));

    // What the file does not say, or says unreadably, is 9600 8N1 (as port 1, slave 1 and
    // the Korvo-420 below), so that a first start anywhere can connect as it opens.
    const storedvalue::LineSettings line = storedvalue::lineSettings(PortSettings);
    setListPosition(cboDF, line.format >= 0 ? line.format : 0);

    setListPosition(cboComm, storedvalue::numberPosition(PortNumber, 20));
    setListPosition(cboSlaveID, storedvalue::numberPosition(SlaveAddress, 255));

    const bool is1602 =
        ReadINI(QStringLiteral("LCD"), QStringLiteral("Module")) == QLatin1String("1602");
    setListPosition(cboModule, is1602 ? 0 : 1);

    setListPosition(cboDataH06, 0);
    setListPosition(cboDataL06, 0);

    baudButtons()[static_cast<std::size_t>(line.baud >= 0 ? line.baud : 0)].second->setChecked(
        true);

    MSComm1.InputMode(MSComm::InputModeKind::Binary);
}

void frmMain::Form_Unload() {
    SlaveAddress = QString::number(cboSlaveID->currentIndex() + 1);
    // One replacement of the file for the four keys; its result is this window's alone.
    modINI::Batch keys;
    keys.write(QStringLiteral("Settings"), QStringLiteral("CommPort"), PortNumber);
    keys.write(QStringLiteral("Settings"), QStringLiteral("Setting"), PortSettings);
    keys.write(QStringLiteral("LCD"), QStringLiteral("Slave"), SlaveAddress);
    keys.write(QStringLiteral("LCD"), QStringLiteral("Module"),
               cboModule->currentIndex() == 0 ? QStringLiteral("1602") : QStringLiteral("2004"));
    if (!keys.commit()) {
        showMessage(this,
                    QStringLiteral("The settings could not be saved to %1.").arg(modINI::iniPath()),
                    QMessageBox::Warning);
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    // The log, the finder and the bus monitor serve this window and go with it; a
    // configuration window stays open to finish its work.
    if (auto* finder = findChild<finder::FindWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
        finder->close();
    }
    if (auto* monitor = findChild<monitor::MonitorWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
        monitor->close();
    }
    traffic::TrafficLogWindow::closeLog();
    // The window is only hidden, and a configuration window may keep the program running
    // for long: the port must not stay held by a window nobody sees.
    if (waiting_) {
        closedDuringWait_ = true;
    } else {
        releasePort();
    }
    event->accept();
}

void frmMain::releasePort() {
    try {
        closeModbusPort();
    } catch (const serial::CommError&) {
        showDisconnected();
    }
}

void frmMain::cmdConnect_Click() {
    // The port stays open under a running exchange.
    if (waiting_) {
        return;
    }
    const int baud = lineChoice().baud;
    QString settings = baud > 0 ? QString::number(baud) : QString();
    switch (cboDF->currentIndex()) {
        case 0:
            settings += QStringLiteral(",n,8,1");
            break;
        case 1:
            settings += QStringLiteral(",n,8,2");
            break;
        case 2:
            settings += QStringLiteral(",e,8,1");
            break;
        default:
            break;
    }
    PortNumber = QString::number(cboComm->currentIndex() + 1);
    PortSettings = settings;

    try {
        if (!connected_) {
            MSComm1.CommPort(PortNumber.toInt());
            MSComm1.Settings(settings);
            MSComm1.PortOpen(true);
            fComm->setEnabled(false);
            mnuCfg->setEnabled(true);
            fCom5->setEnabled(true);
            fCom6->setEnabled(true);
            fCom16->setEnabled(true);
            cmdConnect->setText(QStringLiteral("Disconnect"));
            setConnected(true);
            SetupModule();
            if (!moduleChosen()) {
                // Text typed into the module list: connected, with nothing to address.
                showMessage(this, QString::fromLatin1(CommPortError));
            }
        } else {
            closeModbusPort();
        }
    } catch (const serial::PortNotPermitted& e) {
        // The one failure the user can mend alone: what to do goes beside the message.
        showMessage(this, QString::fromLatin1(CommPortError) + QStringLiteral("\n\n") +
                              QString::fromStdString(e.what()));
    } catch (const serial::CommError&) {
        showMessage(this, QString::fromLatin1(CommPortError));
    }
}

void frmMain::SetupModule() {
    for (QComboBox* list : {cboData05, cboAddr05, cboAddr06, cboAddr16, cboAddr04}) {
        list->clear();
    }
    const auto addresses = [](int from, int to) {
        QStringList items;
        for (int v = from; v <= to; ++v) {
            items << hex4(v);
        }
        return items;
    };
    const QStringList coilValues{hex4(0), hex4(0xFF00)};
    const int module = cboModule->currentIndex();
    if (module == 0) {
        addListItems(cboAddr05, addresses(0, 1));
        addListItems(cboData05, coilValues);
        addListItems(cboAddr06, addresses(0, 24));
        addListItems(cboAddr16, addresses(0, 15));
        for (QComboBox* list : {cboAddr05, cboData05, cboAddr06, cboAddr16}) {
            setListPosition(list, 0);
        }
        return;
    }
    if (module == 1) {
        addListItems(cboData05, coilValues);
        fCom4->setEnabled(true);
        addListItems(cboAddr04, addresses(0, 2));
        addListItems(cboAddr05, addresses(0, 8));
        addListItems(cboAddr06, addresses(0, 56));
        QStringList starts = addresses(0, 39);
        for (int p = 40; p <= 49; ++p) {
            starts << hex4(modbus::startAddress16(p));
        }
        addListItems(cboAddr16, starts);
    }
    // With no module chosen (text typed into the list) the lists stay empty, and the
    // connect command reports it like any other failure of the connection.
    if (!moduleChosen()) {
        return;
    }
    for (QComboBox* list : {cboAddr05, cboData05, cboAddr06, cboAddr04, cboAddr16}) {
        setListPosition(list, 0);
    }
}

bool frmMain::moduleChosen() const {
    const int module = cboModule->currentIndex();
    return module == 0 || module == 1;
}

void frmMain::mnuCfg_Click() {
    if (waiting_) {
        return;
    }
    try {
        closeModbusPort();
    } catch (const serial::CommError&) {
        // The port is gone either way; the configuration window opens its own.
        showDisconnected();
    }
    configui::openWindow(cboModule->currentIndex());
}

void frmMain::closeModbusPort() {
    MSComm1.PortOpen(false);
    showDisconnected();
}

void frmMain::showDisconnected() {
    fComm->setEnabled(true);
    mnuCfg->setEnabled(false);
    fCom5->setEnabled(false);
    fCom6->setEnabled(false);
    fCom16->setEnabled(false);
    fCom4->setEnabled(false);
    cmdConnect->setText(QStringLiteral("Connect"));
    setConnected(false);
}

void frmMain::setConnected(bool on) {
    if (std::exchange(connected_, on) != on) {
        emit connectedChanged(on);
    }
}

std::array<std::pair<int, QRadioButton*>, 3> frmMain::baudButtons() const {
    return {{{9600, opt9600}, {19200, opt19200}, {38400, opt38400}}};
}

frmMain::LineChoice frmMain::lineChoice() const {
    LineChoice c;
    c.portNumber = cboComm->currentIndex() + 1;
    for (const auto& [baud, button] : baudButtons()) {
        if (button->isChecked()) {
            c.baud = baud;
        }
    }
    c.formatIndex = cboDF->currentIndex();
    c.slavePosition = cboSlaveID->currentIndex();
    return c;
}

void frmMain::useLineChoice(const LineChoice& choice) {
    if (choice.portNumber > 0) {
        setListPosition(cboComm, choice.portNumber - 1);
    }
    for (const auto& [baud, button] : baudButtons()) {
        if (baud == choice.baud) {
            button->setChecked(true);
        }
    }
    if (choice.formatIndex >= 0) {
        setListPosition(cboDF, choice.formatIndex);
    }
    if (choice.slavePosition >= 0) {
        setListPosition(cboSlaveID, choice.slavePosition);
    }
}

void frmMain::onPortFailed() {
    // Inside a wait the exchange still runs on the stack below; it reports the failure
    // itself once the wait is over.
    if (waiting_) {
        return;
    }
    reportPortFailure();
}

void frmMain::reportPortFailure() {
    try {
        MSComm1.PortOpen(false);
    } catch (const serial::CommError&) {
        // Already closed by the failure.
    }
    if (connected_) {
        showDisconnected();
    }
    showMessage(this, QString::fromLatin1(CommPortError));
}
