#pragma once

// The window icon shared by every window of the program: a small character display module.

#include <QIcon>

QIcon tessalineIcon();
