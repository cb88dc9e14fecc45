#pragma once

// The device name a port number stands for when nothing else maps it.

#include <QString>

// COMn on Windows, /dev/ttyUSB<n-1> elsewhere (the first USB serial adapter is port 1).
QString defaultPortDevice(int portNumber);
