#include "serial/txqueue.h"

#include <QSerialPort>

#include <windows.h>

int transmitQueueBytes(const QSerialPort& port) {
    const HANDLE handle = port.handle();
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle, &errors, &status)) {
        return -1;
    }
    return static_cast<int>(status.cbOutQue);
}
