#include "app/config/configui.h"

#include <QTimer>

#include "app/modVar.h"
#include "serial/mscomm.h"
#include "widgets/messagebox.h"

namespace configui {

namespace {

bool openPort(MSComm& port) {
    try {
        port.CommPort(PortNumber.trimmed().toInt());
        port.Settings(QLatin1String(UploadSettings));
        port.PortOpen(true);
        return true;
    } catch (const CommError&) {
        return false;
    }
}

template <typename Bytes>
void output(QWidget* window, MSComm& port, const Bytes& image) {
    try {
        port.Output(image);
    } catch (const CommError&) {
        ui::showMessage(window, QLatin1String(ui::CommPortError));
    }
}

}  // namespace

void openUploadPort(QWidget* window, MSComm& port) {
    if (!openPort(port)) {
        QTimer::singleShot(0, window,
                           [window] { ui::showMessage(window, QLatin1String(ui::CommPortError)); });
    }
}

bool readyToSend(QWidget* window, MSComm& port, const std::optional<QString>& unselected) {
    if (unselected) {
        ui::showMessage(window,
                        QStringLiteral("Choose an item in the list \"%1\".").arg(*unselected));
        return false;
    }
    if (!port.PortOpen() && !openPort(port)) {
        ui::showMessage(window, QLatin1String(ui::CommPortError));
        return false;
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
