// SPDX-License-Identifier: MIT
#include "app/config/frmConfig1602.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "app/config/calcchecksum.h"
#include "app/config/configui.h"
#include "app/config/sendverify.h"
#include "app/modVar.h"
#include "settings/ansicodepage.h"
#include "settings/modINI.h"
#include "widgets/captionbutton.h"
#include "widgets/editablelist.h"
#include "widgets/keyboard.h"
#include "widgets/unshowablemark.h"
#include "widgets/windowlayout.h"

using namespace configui;
using namespace ui;

namespace {

const QString Section = QStringLiteral("Cfg1602");

}  // namespace

frmConfig1602::frmConfig1602(QWidget* parent) : ConfigWindow(parent) {
    buildLayout();
    openUploadPort(this, MSComm1);
    Form_Load();
}

frmConfig1602::~frmConfig1602() = default;

void frmConfig1602::buildLayout() {
    setWindowTitle(QStringLiteral("Configure Korvo-216/Korvo-216S"));
    setFont(windowFont());
    setFixedSize(twips(this, 8280), twips(this, 5430));
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    buildCommFrame(240, 2775);

    Frame3 = newFrame(this, "Frame3", QStringLiteral("Data Display"), 3120, 240, 4935, 1815);
    newLabel(Frame3, "Label11", QStringLiteral("Width"), 1560, 240, 495, 255);
    newLabel(Frame3, "Label12", QStringLiteral("Decimal Point"), 2400, 240, 1095, 255);
    newLabel(Frame3, "Label14", QStringLiteral("Location"), 3720, 240, 735, 255);
    newLabel(Frame3, "Label10", QStringLiteral("Field 1 ( LINE 0 )"), 120, 600, 1335, 255);
    cboW1 = newList(Frame3, QStringLiteral("cboW1"), {}, 1440, 600, 735);
    cboDP1 = newList(Frame3, QStringLiteral("cboDP1"), {}, 2400, 600, 855);
    cboSP1 = newList(Frame3, QStringLiteral("cboSP1"), {}, 3720, 600, 735);
    newLabel(Frame3, "Label13", QStringLiteral("Field 2 ( LINE 1 )"), 120, 1200, 1335, 255);
    cboW2 = newList(Frame3, QStringLiteral("cboW2"), {}, 1440, 1080, 735);
    cboDP2 = newList(Frame3, QStringLiteral("cboDP2"), {}, 2400, 1080, 855);
    cboSP2 = newList(Frame3, QStringLiteral("cboSP2"), {}, 3720, 1080, 735);

    Frame2 = newFrame(this, "Frame2", QStringLiteral("Messages"), 240, 2280, 2775, 2775);
    for (int k = 0; k < image1602::MessageCount; ++k) {
        const QByteArray name = "Label" + QByteArray::number(4 + k);
        newLabel(Frame2, name.constData(), QString::number(k + 1), 240, 360 + 360 * k, 255, 255);
        auto* box = new QLineEdit(Frame2);
        box->setObjectName(QStringLiteral("txtMessage_%1").arg(k));
        box->setMaxLength(image1602::MessageLength);
        ui::markUnshowable(box, settings::ansiCodePage());
        place(box, 600, 360 + 360 * k, 1935, 285);
        txtMessage[static_cast<std::size_t>(k)] = box;
    }

    Frame4 = newFrame(this, "Frame4", QStringLiteral("Startup Screen"), 3120, 2280, 3375, 1575);
    newLabel(Frame4, "Label15", QStringLiteral("LINE 0"), 240, 480, 615, 255);
    cboSpage1 = newList(Frame4, QStringLiteral("cboSpage1"), {}, 1440, 480, 1695);
    newLabel(Frame4, "Label16", QStringLiteral("LINE 1"), 240, 960, 615, 255);
    cboSpage2 = newList(Frame4, QStringLiteral("cboSpage2"), {}, 1440, 960, 1695);

    cmdConfig = new CaptionButton(QStringLiteral("Send Config Data"), this);
    cmdConfig->setObjectName(QStringLiteral("cmdConfig"));
    place(cmdConfig, 6840, 2880, 1095, 495);
    connect(cmdConfig, &QPushButton::clicked, this, &frmConfig1602::cmdConfig_Click);
    auto* verify = addSendAndVerify(this, cmdConfig, image1602::Size, &image1602::unselectedList,
                                    &frmConfig1602::cmdConfig_Click);
    verify->place({6840, 3480, 1095, 495}, {6840, 4080, 1095, 255}, {6840, 4320, 1095, 315},
                  {3120, 4080, 3375, 1200});

    lists_ = {cboaddr, cbobaud, cboDF,  cboW1,     cboW2,    cboDP1,
              cboDP2,  cboSP1,  cboSP2, cboSpage1, cboSpage2};
    Q_ASSERT(lists_.size() == image1602::listFields().size());

    readingTabOrder(this);
    cboaddr->setFocus();
}

void frmConfig1602::Form_Load() {
    fillLists(image1602::listFields(), lists_);
    restoreLists(Section, image1602::listFields(), lists_);
    for (int k = 0; k < image1602::MessageCount; ++k) {
        // The box's length limit cuts a longer stored text to 16 characters.
        txtMessage[static_cast<std::size_t>(k)]->setText(
            ReadINI(Section, image1602::messageKey(k)));
    }
}

image1602::Choices frmConfig1602::choices() const {
    image1602::Choices c;
    for (std::size_t k = 0; k < c.messages.size(); ++k) {
        c.messages[k] = txtMessage[k]->text();
    }
    readLists(image1602::listFields(), lists_, c);
    return c;
}

void frmConfig1602::cmdConfig_Click() {
    const image1602::Choices c = choices();
    if (!readyToSend(this, MSComm1, image1602::unselectedList(c))) {
        return;
    }
    const auto built = image1602::build(c, settings::ansiCodePage());
    if (!built) {
        return;
    }
    // Byte 109 is never written: it stays 0.
    constexpr std::int16_t lastSummed = 106;
    std::copy_n(built->image.begin(), lastSummed + 3, CfgData1602.begin());
    MsgBytes = built->msgBytes;
    CalcChecksum(CfgData1602, lastSummed);
    sendUpload(this, MSComm1, CfgData1602);
}

void frmConfig1602::Form_Unload() {
    modINI::Batch batch;
    saveLists(batch, Section, image1602::listFields(), lists_);
    for (int k = 0; k < image1602::MessageCount; ++k) {
        batch.write(Section, image1602::messageKey(k),
                    txtMessage[static_cast<std::size_t>(k)]->text());
    }
    commitSettings(this, batch);
}
