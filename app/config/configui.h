#pragma once

// Pieces both configuration windows share: their labels and send button, the stored-value
// rules of their settings sections, and opening and writing to the port.

#include <QPushButton>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

class MSComm;
class QComboBox;
class QGroupBox;
class QLabel;
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

// A frame with caption, placed in twips of parent.
QGroupBox* newFrame(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width, int height);

// A label at least as wide as its caption, so that a wider fallback font does not clip it.
QLabel* newLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                 int width, int height);

// A button whose caption wraps onto a second line when it is narrower than the caption,
// as "Send Config Data" is in the 16x2 window.
class CaptionButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Replaces the items of list, leaving nothing selected.
void fillList(QComboBox* list, const QStringList& items);

// Selects in list the position stored under key (see restoredPosition).
void restoreList(QComboBox* list, const QString& section, const QString& key, int offset);

// Fills the module's baud rate and data format lists, both windows' alike, and restores
// them from "CSet" (see restoredCset).
void loadBaudFormat(const QString& section, QComboBox* baud, QComboBox* format);
// Stores them as "Cset" (see csetValue).
void saveBaudFormat(const QString& section, const QComboBox* baud, const QComboBox* format);

// "first".."last" in plain decimal.
QStringList numbers(int first, int last);

// The position a stored value restores in a list of count items: the value read as a
// decimal number, less `offset`, rounded halves to even. -1 means no selection (the lists
// saved as position + 1 store 0 for it); a missing, empty, non-numeric or out-of-range
// value gives the first item.
int restoredPosition(const QString& stored, int offset, int count);

// The baud and format positions a stored "Cset" value restores (-1 for no match), and
// the value that saves them: the baud text as shown, followed by the format's suffix.
// A missing or empty value, as on the first opening, matches neither.
struct BaudFormat {
    int baud = -1;
    int format = -1;
};
BaudFormat restoredCset(const QString& stored);
QString csetValue(const QString& baudText, int formatPosition);

}  // namespace configui
