#pragma once

// Pieces both configuration windows share: twips, editable lists, the stored-value rules
// of their settings sections, and the one message they can show.

#include <QPushButton>
#include <QString>
#include <QStringList>

class QComboBox;
class QFont;
class QLabel;
class QWidget;

namespace configui {

inline constexpr auto CommPortError = "COMM PORT ERROR!";
inline constexpr auto UploadSettings = "9600,n,8,1";

// Every message box of the configuration windows goes through here (caption
// "Tessaline", one OK button), so that tests running offscreen can see what would have
// been shown instead of blocking on a modal box.
using MessageHook = void (*)(QWidget* parent, const QString& text);
extern MessageHook showMessage;
void showMessageBox(QWidget* parent, const QString& text);

// Tahoma 8.25 pt where it is installed; elsewhere a sans of similar width, so that the
// captions fit the places they were drawn for.
QFont windowFont();

// Twips to pixels at the widget's resolution: 15 twips per pixel at 96 dpi.
int twips(const QWidget* w, int t);
// Places w at left, top, width, height given in twips of its parent.
void place(QWidget* w, int left, int top, int width, int height);

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

// An editable drop-down list filled with items and nothing selected. Typed text that is
// not an item's leaves the list without a selection; typed text equal to an item selects it.
QComboBox* newList(QWidget* parent, const QString& name, const QStringList& items, int left,
                   int top, int width, int height = 315);

// Selects position p, or nothing when p is -1; an empty text is shown then.
void setListPosition(QComboBox* list, int p);

// "first".."last" in plain decimal.
QStringList numbers(int first, int last);

// The position a stored value restores in a list of count items: the value read as a
// decimal number, less `offset`, rounded halves to even. -1 means no selection (the lists
// saved as position + 1 store 0 for it); a missing, empty, non-numeric or out-of-range
// value gives the first item.
int restoredPosition(const QString& stored, int offset, int count);

// The baud and format positions a stored "Cset" value restores (-1 for no match), and
// the value that saves them: the baud text as shown, followed by the format's suffix.
// A missing or empty value, as on the first opening, gives the first items.
struct BaudFormat {
    int baud = -1;
    int format = -1;
};
BaudFormat restoredCset(const QString& stored);
QString csetValue(const QString& baudText, int formatPosition);

}  // namespace configui
