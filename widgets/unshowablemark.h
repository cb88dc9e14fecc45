// SPDX-License-Identifier: MIT
#pragma once

// A warning mark on a text box whose text holds characters the module cannot show: they
// still go out, as '?', but the user sees which before sending.

#include "core/codepage.h"

class QLineEdit;

namespace ui {

// Keeps a warning icon at the end of box, with a tooltip on it and on the box that names
// the characters codePage has no bytes for, shown while the text holds any.
void markUnshowable(QLineEdit* box, const codepage::CodePage& codePage);

// The tooltip for those characters ("" for none).
QString unshowableTip(const QString& characters);

}  // namespace ui
