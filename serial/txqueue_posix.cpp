// SPDX-License-Identifier: MIT
#include "serial/detail/txqueue.h"

#include <QSerialPort>

#include <sys/ioctl.h>
#include <termios.h>

namespace serialdetail {

int transmitQueueBytes(const QSerialPort& port) {
    const int fd = port.handle();
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &queued) != 0) {
        return -1;
    }
    return queued;
}

}  // namespace serialdetail
