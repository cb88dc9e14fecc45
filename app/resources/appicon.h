// SPDX-License-Identifier: MIT
#pragma once

// The window icon shared by every window of the program: a small character display module.

#include <QIcon>

namespace resources {

QIcon appIcon();

}  // namespace resources
