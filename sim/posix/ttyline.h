// SPDX-License-Identifier: MIT
#pragma once

// The POSIX end of the line: a pseudo-terminal that korvo-sim creates (the master side is
// the module's, the slave path is what the tool opens) or an existing serial device, in
// raw mode with the module's line settings.

#include <optional>
#include <string>
#include <vector>

#include "sim/lineformat.h"

namespace korvo {

class TtyLine {
  public:
    // Creates a pseudo-terminal; with a link path, also a symbolic link to its slave side,
    // replacing whatever was there. Throws std::runtime_error with the reason.
    static TtyLine createPty(const LineFormat& format, const std::string& link);
    // Opens an existing device. Throws std::runtime_error with the reason.
    static TtyLine openDevice(const std::string& path, const LineFormat& format);

    TtyLine(TtyLine&& other) noexcept;
    TtyLine& operator=(TtyLine&&) = delete;
    TtyLine(const TtyLine&) = delete;
    TtyLine& operator=(const TtyLine&) = delete;
    ~TtyLine();  // closes everything and removes the link if it still points here

    // Where the module reads and writes; -1 while a device is away.
    int fd() const { return io_; }
    // The path a master opens: the pseudo-terminal's slave side, or the device.
    const std::string& path() const { return path_; }
    bool isPty() const { return keep_ >= 0; }

    // New line settings for what follows. A device is set to them; a pseudo-terminal's
    // settings are the master's, so they are left alone until the last master closes.
    void apply(const LineFormat& format);

    // Pseudo-terminal only: the speed and stop bits the master has set on the line (the
    // slave side's termios; the parity is never kept there). Nothing for a device, whose
    // far end cannot be seen.
    std::optional<SeenLine> masterLine() const;

    // Pseudo-terminal only: readable when a master opened or closed the slave side.
    int watchFd() const { return watch_; }
    // Reads the open/close notes; returns one line per change for the log. When the last
    // master has closed, the line is made ready for the next one.
    std::vector<std::string> takeWatchEvents();

    // False while no tool has the pseudo-terminal open: a reply then would only wait in
    // the line for whoever opens it next.
    bool masterPresent() const { return keep_ < 0 || watch_ < 0 || openers_ > 0; }

    // Device only: after a hang-up, closes it; reopen() tries to get it back.
    void dropDevice();
    bool reopen();

  private:
    TtyLine() = default;
    void setRaw(int fd) const;

    int io_ = -1;     // pty master, or the device
    int keep_ = -1;   // slave side held open so the line survives a master closing
    int watch_ = -1;  // inotify on the slave path
    int openers_ = 0;
    std::string path_;
    std::string link_;
    LineFormat format_;
};

}  // namespace korvo
