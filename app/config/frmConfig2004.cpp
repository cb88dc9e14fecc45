// SPDX-License-Identifier: MIT
#include "app/config/frmConfig2004.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "app/config/calcchecksum.h"
#include "app/config/configui.h"
#include "app/config/sendverify.h"
#include "app/modVar.h"
#include "settings/modINI.h"
#include "widgets/captionbutton.h"
#include "widgets/editablelist.h"
#include "widgets/keyboard.h"
#include "widgets/windowlayout.h"

using namespace configui;
using namespace ui;

namespace {

const QString Section = QStringLiteral("Cfg2004");
constexpr int ListHeight = 315;

}  // namespace

frmConfig2004::frmConfig2004(QWidget* parent) : ConfigWindow(parent) {
    buildLayout();
    openUploadPort(this, MSComm1);
    Form_Load();
}

frmConfig2004::~frmConfig2004() = default;

void frmConfig2004::buildLayout() {
    setWindowTitle(QStringLiteral("Configure Korvo-420"));
    setFont(windowFont());
    setFixedSize(twips(this, 9750), twips(this, 5670));

    buildCommFrame(360, 2655);

    Frame2 = newFrame(this, "Frame2", QStringLiteral("Data Display Fields Settings"), 3360, 240,
                      6135, 2535);
    newLabel(Frame2, "Label8", QStringLiteral("Width"), 1920, 480, 495, 255);
    newLabel(Frame2, "Label9", QStringLiteral("Decimal Point"), 3000, 480, 975, 255);
    newLabel(Frame2, "Label10", QStringLiteral("Location"), 4560, 480, 615, 255);
    Frame3 = newFrame(this, "Frame3", QStringLiteral("Start Screen"), 3360, 2880, 2655, 2415);
    Frame4 = newFrame(this, "Frame4", QStringLiteral("IO Direction on P2 Header"), 6240, 2880, 2775,
                      2415);
    for (std::size_t i = 0; i < image2004::FieldCount; ++i) {
        const int row = 840 + 360 * static_cast<int>(i);
        const QByteArray label = "Label" + QByteArray::number(4 + static_cast<int>(i));
        newLabel(Frame2, label.constData(),
                 QStringLiteral("Field %1 ( Line %2 )").arg(i + 1).arg(i), 240, row, 1215, 255);
        cboWidth1[i] = newList(Frame2, QStringLiteral("cboWidth1_%1").arg(i), {}, 1800, row, 735);
        cboDP[i] = newList(Frame2, QStringLiteral("cboDP_%1").arg(i), {}, 3000, row, 735);
        cboLoc[i] = newList(Frame2, QStringLiteral("cboLoc_%1").arg(i), {}, 4560, row, 855);

        const int line = 480 + 480 * static_cast<int>(i);
        const QByteArray lineLabel = "Label" + QByteArray::number(11 + static_cast<int>(i));
        newLabel(Frame3, lineLabel.constData(), QStringLiteral("Line %1").arg(i), 240, line, 615,
                 255);
        cbosmsg[i] = newList(Frame3, QStringLiteral("cbosmsg_%1").arg(i), {}, 840, line, 1695);
    }
    for (std::size_t i = 0; i < image2004::IoPins; ++i) {
        const bool right = i >= 4;
        const int top = 360 + 480 * static_cast<int>(i % 4);
        const QByteArray label = "Label" + QByteArray::number(15 + static_cast<int>(i));
        newLabel(Frame4, label.constData(), QString::number(i + 1), right ? 1440 : 240, top, 135,
                 255);
        cboIO[i] = newList(Frame4, QStringLiteral("cboIO_%1").arg(i), {}, right ? 1680 : 600, top,
                           735, ListHeight);
    }

    cmdSend = new CaptionButton(QStringLiteral("Send Config Data"), this);
    cmdSend->setObjectName(QStringLiteral("cmdSend"));
    place(cmdSend, 600, 3600, 1815, 855);
    connect(cmdSend, &QPushButton::clicked, this, &frmConfig2004::cmdSend_Click);
    auto* verify = addSendAndVerify(this, cmdSend, image2004::UploadSize,
                                    &image2004::unselectedList, &frmConfig2004::cmdSend_Click);
    verify->place({600, 2280, 1815, 495}, {600, 2880, 900, 255}, {1560, 2850, 855, 315},
                  {240, 4560, 3000, 960});

    lists_ = {cboaddr, cbobaud, cboDF};
    for (const auto* column : {&cboWidth1, &cboDP, &cboLoc, &cbosmsg}) {
        lists_.insert(lists_.end(), column->begin(), column->end());
    }
    lists_.insert(lists_.end(), cboIO.begin(), cboIO.end());
    Q_ASSERT(lists_.size() == image2004::listFields().size());

    readingTabOrder(this);
    cboaddr->setFocus();
}

void frmConfig2004::Form_Load() {
    fillLists(image2004::listFields(), lists_);
    restoreLists(Section, image2004::listFields(), lists_);
}

image2004::Choices frmConfig2004::choices() const {
    image2004::Choices c;
    readLists(image2004::listFields(), lists_, c);
    return c;
}

void frmConfig2004::cmdSend_Click() {
    const image2004::Choices c = choices();
    if (!readyToSend(this, MSComm1, image2004::unselectedList(c))) {
        return;
    }
    const auto built = image2004::build(c);
    if (!built) {
        return;
    }
    std::copy(built->image.begin(), built->image.end(), CfgData2004.begin());
    constexpr std::int16_t lastSummed = image2004::Length - 3;
    CalcChecksum(CfgData2004, lastSummed);
    SendCfgData(image2004::Length);
}

void frmConfig2004::SendCfgData(const std::int16_t& imageLength) {
    sendUpload(this, MSComm1, image2004::withTrailingZero(CfgData2004, imageLength));
}

void frmConfig2004::Form_Unload() {
    modINI::Batch batch;
    saveLists(batch, Section, image2004::listFields(), lists_);
    commitSettings(this, batch);
}
