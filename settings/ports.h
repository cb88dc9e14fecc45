// SPDX-License-Identifier: MIT
#pragma once

// Port numbers as the technician picks them, mapped to devices through modlcd.ini.

#include <QString>

namespace settings {

// The device behind a port number: COMn on Windows; elsewhere key n of section "Ports" in
// modlcd.ini, or /dev/ttyUSB<n-1> when there is none. A relative path in "Ports" is taken
// from the folder of the modlcd.ini that holds it.
QString portDevice(int portNumber);

}  // namespace settings
