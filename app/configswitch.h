// SPDX-License-Identifier: MIT
#pragma once

namespace configui {

// Opens the configuration window of the module at position modulePosition of the main
// window's module list (0 = Korvo-216, anything else = Korvo-420). Each window exists at
// most once; a second call brings the existing one to the front.
void openWindow(int modulePosition);

}  // namespace configui
