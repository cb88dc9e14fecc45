// SPDX-License-Identifier: MIT
#include "app/config/configui.h"

#include <QTimer>

#include "app/modVar.h"
#include "serial/mscomm.h"
#include "widgets/messagebox.h"

namespace configui {

namespace {

// "" once open, else what the window says: "COMM PORT ERROR!", and for a port this user
// may not use, why and the fix below it.
QString openPort(MSComm& port) {
    try {
        port.CommPort(PortNumber.trimmed().toInt());
        port.Settings(QLatin1String(UploadSettings));
        port.PortOpen(true);
        return {};
    } catch (const serial::PortNotPermitted& e) {
        return QLatin1String(ui::CommPortError) + QStringLiteral("\n\n") +
               QString::fromStdString(e.what());
    } catch (const serial::CommError&) {
        return QLatin1String(ui::CommPortError);
    }
}

template <typename Bytes>
void output(QWidget* window, MSComm& port, const Bytes& image) {
    try {
        port.Output(image);
    } catch (const serial::CommError&) {
        ui::showMessage(window, QLatin1String(ui::CommPortError));
    }
}

}  // namespace

void openUploadPort(QWidget* window, MSComm& port) {
    if (QString why = openPort(port); !why.isEmpty()) {
        QTimer::singleShot(0, window, [window, why] { ui::showMessage(window, why); });
    }
}

bool readyToSend(QWidget* window, MSComm& port, const std::optional<QString>& unselected) {
    if (unselected) {
        ui::showMessage(window,
                        QStringLiteral("Choose an item in the list \"%1\".").arg(*unselected));
        return false;
    }
    if (!port.PortOpen()) {
        if (QString why = openPort(port); !why.isEmpty()) {
            ui::showMessage(window, why);
            return false;
        }
    }
    return true;
}

void sendUpload(QWidget* window, MSComm& port, std::span<const std::uint8_t> image) {
    output(window, port, image);
}

void sendUpload(QWidget* window, MSComm& port, const QByteArray& image) {
    output(window, port, image);
}

void commitSettings(QWidget* window, modINI::Batch& batch) {
    if (!batch.commit()) {
        ui::showMessage(
            window, QStringLiteral("The settings could not be saved to %1.").arg(modINI::iniPath()),
            QMessageBox::Warning);
    }
}

}  // namespace configui
