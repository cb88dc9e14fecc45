// SPDX-License-Identifier: MIT
#include "sim/posix/log.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace korvo {

namespace {

// One write per line, so lines stay whole even when several writers share the pipe.
void emit(const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // nobody reads the log any more; the module keeps working
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

Log::Log() : steadyStart_(Clock::now()), wallStart_(std::chrono::system_clock::now()) {}

void Log::line(const std::string& text, Clock::time_point at) {
    using namespace std::chrono;
    const auto wall = wallStart_ + duration_cast<system_clock::duration>(at - steadyStart_);
    const std::time_t secs = system_clock::to_time_t(wall);
    const auto ms = duration_cast<milliseconds>(wall.time_since_epoch()).count() % 1000;
    std::tm tm{};
    ::localtime_r(&secs, &tm);
    std::array<char, 32> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%02d:%02d:%02d.%03d ", tm.tm_hour, tm.tm_min,
                  tm.tm_sec, static_cast<int>(ms));
    emit(stamp.data() + text + "\n");
}

void Log::raw(const std::string& text) {
    emit(text + "\n");
}

}  // namespace korvo
