// SPDX-License-Identifier: MIT
#pragma once

// How the windows read list positions and line settings back from the texts they keep in
// modlcd.ini, and the texts they keep. A hand-edited file may hold anything: every rule
// gives a position for any text.

#include <QString>

namespace storedvalue {

// The configuration windows' rule: the value read as a decimal number, less offset (1 for
// lists saved as position + 1), rounded halves to even. -1 means no selection (those lists
// saved as position + 1 store 0 for it); a missing, empty, non-numeric or out-of-range
// value gives the first item.
int position(const QString& stored, int offset, int count);

// The main window's rule for its numbered lists (port 1..20, slave 1..255): a whole number
// n gives position n - 1, "0" no selection, anything else the first item. Unlike the rule
// above it takes no fractions.
int numberPosition(const QString& stored, int highest);

// The baud-rate and data-format positions (-1 for no match) of a stored line setting such
// as "19200,e,8,1", and the text that stores them: the baud rate as shown, followed by the
// format's suffix. Both the main window's "Setting" and the configuration windows' "Cset"
// keep this form. A missing or empty value matches neither.
struct LineSettings {
    int baud = -1;
    int format = -1;
};
LineSettings lineSettings(const QString& stored);
QString lineSettingsValue(const QString& baudText, int formatPosition);

}  // namespace storedvalue
