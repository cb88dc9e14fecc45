// SPDX-License-Identifier: MIT
#pragma once

// A text box's maximum length counted in characters, as the module shows them: one byte
// each on the line, whatever the character. A plain maximum length counts UTF-16 units, so
// a character outside the Basic Multilingual Plane (an emoji) counts twice and can be cut
// in half.

class QLineEdit;

namespace ui {

// At most `characters` characters in box. What goes past the limit is cut, at whole
// characters, from the end of what was just typed or pasted, as a maximum length does.
void limitCharacters(QLineEdit* box, int characters);

}  // namespace ui
