// SPDX-License-Identifier: MIT
#include "sim/posix/ttyline.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace korvo {

namespace {

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

speed_t speedOf(int baud) {
    switch (baud) {
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        default:
            return B9600;
    }
}

int baudOf(speed_t s) {
    struct Speed {
        speed_t code;
        int baud;
    };
    static constexpr std::array kSpeeds{
        Speed{B50, 50},         Speed{B75, 75},         Speed{B110, 110},
        Speed{B134, 134},       Speed{B150, 150},       Speed{B200, 200},
        Speed{B300, 300},       Speed{B600, 600},       Speed{B1200, 1200},
        Speed{B1800, 1800},     Speed{B2400, 2400},     Speed{B4800, 4800},
        Speed{B9600, 9600},     Speed{B19200, 19200},   Speed{B38400, 38400},
        Speed{B57600, 57600},   Speed{B115200, 115200}, Speed{B230400, 230400},
        Speed{B460800, 460800}, Speed{B921600, 921600},
    };
    for (const Speed& k : kSpeeds) {
        if (k.code == s) {
            return k.baud;
        }
    }
    return 0;  // B0 (hang up) or a speed the module never runs at
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

TtyLine TtyLine::createPty(const LineFormat& format, const std::string& link) {
    TtyLine t;
    t.format_ = format;
    t.io_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (t.io_ < 0) {
        throw failure("cannot create a pseudo-terminal");
    }
    std::array<char, 128> name{};
    if (::grantpt(t.io_) != 0 || ::unlockpt(t.io_) != 0 ||
        ::ptsname_r(t.io_, name.data(), name.size()) != 0) {
        throw failure("cannot unlock the pseudo-terminal");
    }
    t.path_ = name.data();
    // Holding the slave side open keeps reads on the master from failing with EIO while no
    // tool has the line open, and keeps the settings between two tools.
    t.keep_ = ::open(t.path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (t.keep_ < 0) {
        throw failure("cannot open " + t.path_);
    }
    t.setRaw(t.keep_);
    // Opened after our own open, so every note is about a tool.
    t.watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (t.watch_ >= 0 && ::inotify_add_watch(t.watch_, t.path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        closeFd(t.watch_);
    }
    if (!link.empty()) {
        if (::unlink(link.c_str()) != 0 && errno != ENOENT) {
            throw failure("cannot replace " + link);
        }
        if (::symlink(t.path_.c_str(), link.c_str()) != 0) {
            throw failure("cannot make the link " + link);
        }
        t.link_ = link;
    }
    return t;
}

TtyLine TtyLine::openDevice(const std::string& path, const LineFormat& format) {
    TtyLine t;
    t.format_ = format;
    t.path_ = path;
    if (!t.reopen()) {
        throw failure("cannot open " + path);
    }
    return t;
}

TtyLine::TtyLine(TtyLine&& o) noexcept
    : io_(std::exchange(o.io_, -1)),
      keep_(std::exchange(o.keep_, -1)),
      watch_(std::exchange(o.watch_, -1)),
      openers_(o.openers_),
      path_(std::move(o.path_)),
      link_(std::move(o.link_)),
      format_(o.format_) {}

TtyLine::~TtyLine() {
    if (!link_.empty()) {
        std::array<char, 256> target{};
        const ssize_t n = ::readlink(link_.c_str(), target.data(), target.size() - 1);
        // Someone may have pointed the link elsewhere meanwhile; theirs stays.
        if (n > 0 && path_ == std::string(target.data(), static_cast<std::size_t>(n))) {
            ::unlink(link_.c_str());
        }
    }
    closeFd(watch_);
    closeFd(keep_);
    closeFd(io_);
}

void TtyLine::setRaw(int fd) const {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (format_.parity == Parity::Even) {
        tio.c_cflag |= PARENB;
    }
    if (format_.stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speedOf(format_.baud));
    ::cfsetospeed(&tio, speedOf(format_.baud));
    ::tcsetattr(fd, TCSANOW, &tio);
}

void TtyLine::apply(const LineFormat& format) {
    format_ = format;
    // Setting the pseudo-terminal would move the master to the module's new settings behind
    // its back; a master that has not followed must go on being garbled.
    if (keep_ < 0 && io_ >= 0) {
        setRaw(io_);
    }
}

std::optional<SeenLine> TtyLine::masterLine() const {
    termios tio{};
    if (keep_ < 0 || ::tcgetattr(keep_, &tio) != 0) {
        return std::nullopt;
    }
    SeenLine seen;
    seen.baud = baudOf(::cfgetospeed(&tio));
    seen.stopBits = (tio.c_cflag & CSTOPB) != 0U ? 2 : 1;
    return seen;
}

std::vector<std::string> TtyLine::takeWatchEvents() {
    std::vector<std::string> out;
    if (watch_ < 0) {
        return out;
    }
    alignas(inotify_event) std::array<char, 4096> buf{};
    for (;;) {
        const ssize_t n = ::read(watch_, buf.data(), buf.size());
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event ev{};
            std::memcpy(&ev, buf.data() + at, sizeof ev);
            at += static_cast<ssize_t>(sizeof ev + ev.len);
            if ((ev.mask & IN_OPEN) != 0U) {
                ++openers_;
                out.push_back("a master opened " + path_);
            }
            if ((ev.mask & IN_CLOSE) != 0U && openers_ > 0) {
                --openers_;
                if (openers_ == 0) {
                    // A tool that died with the line locked (TIOCEXCL) would keep the next
                    // one out, and unread replies would greet it; neither should outlive it.
                    ::ioctl(keep_, TIOCNXCL);
                    ::tcflush(keep_, TCIFLUSH);
                    setRaw(keep_);
                    out.push_back("the master closed " + path_ + "; waiting for the next one");
                } else {
                    out.push_back("a master closed " + path_ + "; " + std::to_string(openers_) +
                                  " still open");
                }
            }
        }
    }
    return out;
}

void TtyLine::dropDevice() {
    closeFd(io_);
}

bool TtyLine::reopen() {
    closeFd(io_);
    io_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (io_ < 0) {
        return false;
    }
    setRaw(io_);
    return true;
}

}  // namespace korvo
