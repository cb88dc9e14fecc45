// SPDX-License-Identifier: MIT
// The main window's controls, placed in twips as the window has always been drawn.

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <optional>

#include "app/frmMain.h"
#include "app/traffic/trafficlogwindow.h"
#include "serial/exchange.h"
#include "serial/traffic/recorder.h"
#include "settings/ansicodepage.h"
#include "widgets/editablelist.h"
#include "widgets/textlimit.h"
#include "widgets/unshowablemark.h"
#include "widgets/windowlayout.h"

namespace {

struct Twips {
    int left, top, width, height;
};

struct Colour {
    int r, g, b;
};

}  // namespace

void frmMain::buildLayout() {
    const auto place = [](QWidget* w, const Twips& t) {
        ui::place(w, t.left, t.top, t.width, t.height);
    };
    const auto named = [](auto* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    const auto frame = [&](QWidget* parent, const char* name, const char* caption, const Twips& t) {
        auto* f = named(new QGroupBox(QString::fromLatin1(caption), parent), name);
        place(f, t);
        return f;
    };
    const auto label = [&](QWidget* parent, const char* name, const char* caption, const Twips& t) {
        auto* l = named(new QLabel(QString::fromLatin1(caption), parent), name);
        place(l, t);
        return l;
    };
    const auto combo = [&](QWidget* parent, const char* name, const char* text, const Twips& t,
                           ui::TypedMatch match = ui::TypedMatch::ExactCase) {
        auto* c = named(new QComboBox(parent), name);
        ui::makeEditableList(c, QString::fromLatin1(text), match);
        place(c, t);
        return c;
    };
    const auto button = [&](QWidget* parent, const char* name, const char* caption,
                            const Twips& t) {
        auto* b = named(new QPushButton(QString::fromLatin1(caption), parent), name);
        place(b, t);
        return b;
    };
    const auto boxed = [](QLabel* l, Colour back, std::optional<Colour> fore) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setLineWidth(1);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, QColor(back.r, back.g, back.b));
        if (fore) {
            p.setColor(QPalette::WindowText, QColor(fore->r, fore->g, fore->b));
        }
        l->setPalette(p);
    };

    setWindowTitle(QStringLiteral("Tessaline"));
    setFont(ui::windowFont());

    mnuCfg = named(menuBar()->addAction(QStringLiteral("Configure LCD")), "mnuCfg");
    mnuCfg->setEnabled(false);
    // Beside it, and usable during a wait: looking at the log cannot harm an exchange.
    QMenu* mnuView = named(menuBar()->addMenu(QStringLiteral("View")), "mnuView");
    QAction* mnuTrafficLog =
        named(mnuView->addAction(QStringLiteral("Traffic Log")), "mnuTrafficLog");
    mnuTrafficLog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuTrafficLog, &QAction::triggered, this, [] { traffic::TrafficLogWindow::showLog(); });
    traffic::recorder().watch(MSComm1, framewords::Line::Modbus);

    auto* client = named(new QWidget(this), "client");
    client->setFixedSize(ui::twips(this, 10080), ui::twips(this, 7410));
    setCentralWidget(client);

    fComm = frame(client, "fComm", "Comm Port Settings", {240, 240, 4815, 2055});
    opt9600 = named(new QRadioButton(QStringLiteral("9600 bps"), fComm), "opt9600");
    place(opt9600, {240, 360, 975, 255});
    opt19200 = named(new QRadioButton(QStringLiteral("19200 bps"), fComm), "opt19200");
    place(opt19200, {1320, 360, 1215, 255});
    opt38400 = named(new QRadioButton(QStringLiteral("38400 bps"), fComm), "opt38400");
    place(opt38400, {2520, 360, 1215, 255});
    // Exclusive once one is chosen; Form_Load chooses one.
    optBaud = named(new QButtonGroup(this), "optBaud");
    optBaud->addButton(opt9600);
    optBaud->addButton(opt19200);
    optBaud->addButton(opt38400);
    cboDF = combo(fComm, "cboDF", "Combo1", {240, 840, 975, 315});
    Label2 = label(fComm, "Label2", "Data Format", {1320, 840, 975, 255});
    cboComm = combo(fComm, "cboComm", "Combo1", {2400, 840, 735, 315});
    Label1 = label(fComm, "Label1", "Select Port Number", {3240, 840, 1455, 255});
    cboModule = combo(fComm, "cboModule", "Combo1", {240, 1320, 1455, 315});
    Label4 = label(fComm, "Label4", "Select Module", {1800, 1440, 1335, 255});

    fID = frame(client, "fID", "Slave ID", {5400, 240, 3255, 735});
    cboSlaveID = combo(fID, "cboSlaveID", "Combo1", {360, 240, 735, 315});
    Label3 = label(fID, "Label3", "Select Slave Address", {1440, 240, 1575, 255});

    cmdConnect = button(client, "cmdConnect", "Connect", {6360, 1080, 1455, 375});

    fCom5 = frame(client, "fCom5", "Modbus Command 05", {240, 2400, 2775, 2175});
    cboAddr05 = combo(fCom5, "cboAddr05", "", {240, 480, 975, 315});
    Label8 = label(fCom5, "Label8", "Register Address", {1320, 480, 1335, 255});
    // The coil value goes by the text shown, so "0xff00" typed must not read as off.
    cboData05 = combo(fCom5, "cboData05", "", {240, 960, 975, 315}, ui::TypedMatch::AnyCase);
    Label7 = label(fCom5, "Label7", "Data", {1320, 960, 375, 255});
    cmdSend05 = button(fCom5, "cmdSend05", "Send", {240, 1560, 975, 375});

    fCom6 = frame(client, "fCom6", "Modbus Command 06", {3120, 2400, 3015, 2175});
    cboAddr06 = combo(fCom6, "cboAddr06", "", {240, 480, 975, 315});
    Label11 = label(fCom6, "Label11", "Register Address", {1320, 480, 1335, 255});
    Label9 = label(fCom6, "Label9", "Data Hi", {240, 960, 855, 255});
    Label10 = label(fCom6, "Label10", "Data Lo", {1320, 960, 855, 255});
    cboDataH06 = combo(fCom6, "cboDataH06", "", {240, 1200, 855, 315});
    cboDataL06 = combo(fCom6, "cboDataL06", "", {1320, 1200, 855, 315});
    cmdSend06 = button(fCom6, "cmdSend06", "Send", {240, 1680, 975, 375});

    fCom16 = frame(client, "fCom16", "Modbus Command 16", {6240, 2400, 3615, 2175});
    cboAddr16 = combo(fCom16, "cboAddr16", "", {240, 480, 975, 315});
    Label12 = label(fCom16, "Label12", "Start Register Address", {1320, 480, 1695, 255});
    txtMessage = named(new QLineEdit(fCom16), "txtMessage");
    ui::limitCharacters(txtMessage, 20);
    ui::markUnshowable(txtMessage, settings::ansiCodePage());
    place(txtMessage, {240, 960, 3135, 285});
    cmdSend16 = button(fCom16, "cmdSend16", "Send", {240, 1680, 855, 375});

    fCom4 =
        frame(client, "fCom4", "Modbus Command 04 - Read Input Registers", {240, 4680, 9615, 975});
    cboAddr04 = combo(fCom4, "cboAddr04", "", {240, 360, 975, 315});
    cmdSend04 = button(fCom4, "cmdSend04", "Send", {1680, 360, 1095, 375});
    Label13 = label(fCom4, "Label13", "Reg 30001", {3360, 360, 855, 255});
    Label14 = label(fCom4, "Label14", "Reg 30002", {5520, 360, 855, 255});
    Label15 = label(fCom4, "Label15", "Reg 30003", {7560, 360, 855, 255});
    constexpr std::array<int, 3> regLeft{4320, 6360, 8400};
    for (std::size_t i = 0; i < lblReg3x.size(); ++i) {
        lblReg3x[i] = label(fCom4, "lblReg3x", "", {regLeft[i], 360, 1095, 255});
        lblReg3x[i]->setProperty("index", static_cast<int>(i));
        boxed(lblReg3x[i], {128, 255, 128}, std::nullopt);
    }

    fMonitor = frame(client, "fMonitor", "Communication Monitor", {240, 5880, 9495, 1215});
    Label6 = label(fMonitor, "Label6", "Bytes Sent", {240, 360, 855, 255});
    lblTxData = label(fMonitor, "lblTxData", "", {1800, 360, 7335, 255});
    boxed(lblTxData, {255, 255, 128}, Colour{0, 0, 255});
    Label5 = label(fMonitor, "Label5", "Bytes Received", {240, 720, 1215, 255});
    lblRxData = label(fMonitor, "lblRxData", "", {1800, 720, 7335, 255});
    boxed(lblRxData, {0, 255, 0}, Colour{255, 0, 0});

    for (QGroupBox* f : {fCom5, fCom6, fCom16, fCom4}) {
        f->setEnabled(false);
    }

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(exchange::TickInterval);
    Timer1->setTimerType(Qt::PreciseTimer);

    // The controls stand where they were placed; the window does not stretch them.
    setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
}
