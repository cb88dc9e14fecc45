// SPDX-License-Identifier: MIT
// Launches programs that report their first frame (firstframe.h) and prints, for each, the
// time from launch to that frame and the peak resident memory then:
//   bench_startup RUNS PROGRAM...
// Programs take turns, after one untimed launch each to warm the file cache. One line per
// program: "startup PROGRAM median-ms max-ms median-peak-KiB runs".

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kLaunchTimeoutMs = 30000;

struct Launch {
    double ms;
    long peakKiB;
};

long long monotonicNs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

std::optional<Launch> launch(const std::string& program) {
    int out[2];
    if (::pipe(out) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    // Qt's warnings on the offscreen platform would only clutter the figures.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char> path(program.begin(), program.end());
    path.push_back('\0');
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const long long start = monotonicNs();
    const int spawned = ::posix_spawn(&pid, path.data(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[256];
    for (ssize_t n = 0; spawned == 0;) {
        // A program that never shows its window is stopped rather than waited for.
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, kLaunchTimeoutMs) <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        if ((n = ::read(out[0], buf, sizeof buf)) <= 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    long long shown = 0;
    long peak = 0;
    const auto at = text.find("shown ");
    if (at == std::string::npos ||
        std::sscanf(text.c_str() + at, "shown %lld %ld", &shown, &peak) != 2) {
        return std::nullopt;
    }
    return Launch{static_cast<double>(shown - start) / 1e6, peak};
}

template <typename T>
T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_startup RUNS PROGRAM...\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::vector<std::string> programs(argv + 2, argv + argc);
    std::vector<std::vector<Launch>> figures(programs.size());
    for (int run = -1; run < runs; ++run) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const auto l = launch(programs[p]);
            if (!l) {
                std::fprintf(stderr, "%s did not report its first frame\n", programs[p].c_str());
                return 1;
            }
            if (run >= 0) {
                figures[p].push_back(*l);
            }
        }
    }
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::vector<double> ms;
        std::vector<long> peak;
        for (const Launch& l : figures[p]) {
            ms.push_back(l.ms);
            peak.push_back(l.peakKiB);
        }
        std::printf("startup %s %.1f %.1f %ld %d\n", programs[p].c_str(), median(ms),
                    *std::max_element(ms.begin(), ms.end()), median(peak), runs);
    }
    return 0;
}
