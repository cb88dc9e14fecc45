// SPDX-License-Identifier: MIT
#pragma once

// What both configuration windows do alike: opening and writing to the port, and filling,
// restoring, reading and saving their lists from the table of their image (see
// core/configfield.h).

#include <QComboBox>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/configfield.h"
#include "settings/modINI.h"
#include "widgets/editablelist.h"

class MSComm;
class QWidget;

namespace configui {

inline constexpr auto UploadSettings = "9600,n,8,1";

// Opens port on PortNumber at the upload settings as the window opens. When it cannot, the
// window says so once it is on screen; its choices stay usable without the port.
void openUploadPort(QWidget* window, MSComm& port);

// Whether a send may go ahead: no list is left without a selection (unselected names the
// first that is, and the user is told which) and the port is open, opened again here if it
// could not be before (else "COMM PORT ERROR!").
bool readyToSend(QWidget* window, MSComm& port, const std::optional<QString>& unselected);

// Writes the image in one output; "COMM PORT ERROR!" when the line refuses it.
void sendUpload(QWidget* window, MSComm& port, std::span<const std::uint8_t> image);
void sendUpload(QWidget* window, MSComm& port, const QByteArray& image);

// Writes the window's batch of keys in one replacement of modlcd.ini. When that fails the
// window itself says so; nothing is left for another window to report later.
void commitSettings(QWidget* window, modINI::Batch& batch);

// lists[i] is the control of fields[i] in each of these.
template <typename Choices>
using Fields = std::span<const config::ListField<Choices>>;
using Lists = std::span<QComboBox* const>;

template <typename Choices>
void fillLists(Fields<Choices> fields, Lists lists) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        ui::fillList(lists[i], config::itemsOf(fields[i]));
    }
}

template <typename Choices>
void restoreLists(const QString& section, Fields<Choices> fields, Lists lists) {
    // Lists that share a key (Cset, IODIR) read the file once for it.
    QHash<QString, QString> stored;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString key = QLatin1String(fields[i].key);
        if (!stored.contains(key)) {
            stored.insert(key, ReadINI(section, key));
        }
        ui::setListPosition(lists[i], config::restoredPosition(fields[i], stored.value(key)));
    }
}

// A list showing typed text that matches no item reads as config::TypedNoItem, so that a
// send refuses it instead of sending the code for no selection.
template <typename Choices>
void readLists(Fields<Choices> fields, Lists lists, Choices& c) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int position = lists[i]->currentIndex();
        fields[i].at(c) =
            position < 0 && !lists[i]->currentText().isEmpty() ? config::TypedNoItem : position;
    }
}

template <typename Choices>
void saveLists(modINI::Batch& batch, const QString& section, Fields<Choices> fields, Lists lists) {
    std::vector<config::Shown> shown;
    shown.reserve(lists.size());
    for (const QComboBox* list : lists) {
        shown.push_back({list->currentIndex(), list->currentText()});
    }
    for (const auto& [key, value] :
         config::storedValues(fields, std::span<const config::Shown>(shown))) {
        batch.write(section, key, value);
    }
}

}  // namespace configui
