// SPDX-License-Identifier: MIT
#pragma once

// The log on standard output: one line per event, led by the local time with milliseconds.

#include <chrono>
#include <string>

namespace korvo {

using Clock = std::chrono::steady_clock;

class Log {
  public:
    Log();
    // Stamped with the wall-clock time that corresponds to `at`.
    void line(const std::string& text, Clock::time_point at = Clock::now());
    // Unstamped (the "ready" line).
    void raw(const std::string& text);

  private:
    Clock::time_point steadyStart_;
    std::chrono::system_clock::time_point wallStart_;
};

}  // namespace korvo
