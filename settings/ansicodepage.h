// SPDX-License-Identifier: MIT
#pragma once

#include "core/codepage.h"

namespace settings {

// The code page of modlcd.ini's text and of the characters sent to the display: on Windows
// the system's ANSI code page, the one its profile functions and a Windows text editor
// use; elsewhere Windows-1252, so a file carried from a Windows PC of Western Europe or
// America reads the same.
codepage::CodePage ansiCodePage();

}  // namespace settings
