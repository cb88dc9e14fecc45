// SPDX-License-Identifier: MIT
#include "tests/support/ptypair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace testsupport {

PtyPair::PtyPair() {
    char name[256] = {};
    termios tio{};
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (openpty(&master_, &slaveKeep_, name, &tio, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (slaveKeep_ >= 0) {
        ::close(slaveKeep_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PtyPair::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to pty master failed");
        } else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

QByteArray PtyPair::readAll(int timeoutMs) {
    QByteArray out;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || (p.revents & POLLIN) == 0) {
            return out;
        }
        char buf[512];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) {
            return out;
        }
        out.append(buf, n);
    }
}

QByteArray PtyPair::readExactly(int n, int timeoutMs) {
    QByteArray out;
    while (out.size() < n) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || (p.revents & POLLIN) == 0) {
            return out;
        }
        char buf[512];
        const ssize_t got = ::read(master_, buf,
                                   static_cast<size_t>(std::min<qsizetype>(
                                       n - out.size(), static_cast<qsizetype>(sizeof buf))));
        if (got <= 0) {
            return out;
        }
        out.append(buf, got);
    }
    return out;
}

}  // namespace testsupport
