// SPDX-License-Identifier: MIT
#include "app/config/configwindow.h"

#include <QCloseEvent>
#include <QGroupBox>

#include "widgets/editablelist.h"
#include "widgets/windowlayout.h"

namespace configui {

ConfigWindow::ConfigWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
}

ConfigWindow::~ConfigWindow() = default;

void ConfigWindow::buildCommFrame(int left, int width) {
    using namespace ui;
    Frame1 =
        newFrame(this, "Frame1", QStringLiteral("LCD Comm Parameters"), left, 240, width, 1815);
    newLabel(Frame1, "Label1", QStringLiteral("Slave Address"), 120, 360, 1095, 255);
    cboaddr = newList(Frame1, QStringLiteral("cboaddr"), {}, 1440, 360, 855);
    newLabel(Frame1, "Label2", QStringLiteral("Baud Rate"), 120, 840, 1095, 255);
    cbobaud = newList(Frame1, QStringLiteral("cbobaud"), {}, 1440, 840, 855);
    newLabel(Frame1, "Label3", QStringLiteral("Data Format"), 120, 1320, 975, 255);
    cboDF = newList(Frame1, QStringLiteral("cboDF"), {}, 1440, 1320, 855);
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

}  // namespace configui
