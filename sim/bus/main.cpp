// SPDX-License-Identifier: MIT
// korvo-bus: a virtual two-wire RS-485 line joining several pseudo-terminals, so that a
// master, korvo-sim modules and a monitor can share one bus as they would on the bench.

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bus/medium.h"
#include "sim/lineformat.h"
#include "sim/posix/log.h"
#include "sim/posix/ttyline.h"

namespace {

using korvo::Clock;

volatile std::sig_atomic_t gStop = 0;

// C linkage for sigaction; static because a C name escapes every namespace it sits in.
extern "C" {
static void onStop(int sig) {
    gStop = sig;
}
}

constexpr std::size_t kMaxNodes = 16;

struct BusOptions {
    korvo::LineFormat line;
    std::vector<std::string> links;  // one per node; empty for a node without a link
    std::vector<std::size_t> echo;   // 0-based
    bool byCharacter = false;
    bool help = false;
};

const char* const kHelp =
    "Usage: korvo-bus [options]\n"
    "A virtual two-wire RS-485 line: several pseudo-terminals on one shared medium. What one\n"
    "node writes goes out at the line speed and every other node hears it; two nodes that\n"
    "write in the same character time collide (logged and counted). Prints\n"
    "\"ready <path> <path> ...\", one path per node, once listening; stops on SIGINT or SIGTERM.\n"
    "\n"
    "  --link PATH             add a node and make a symbolic link PATH to it (repeatable)\n"
    "  --nodes N               at least N nodes in all, 2..16 (default 2, or one per --link)\n"
    "  --echo N                node N (from 1) also hears what it writes, as through an\n"
    "                          echoing adapter (repeatable)\n"
    "  --by-character          hand on every character when it is on the wire, not each\n"
    "                          write whole (true timing for a listener; a module framing by\n"
    "                          silence may see a request cut in two on a loaded machine)\n"
    "  --baud 9600|19200|38400 line speed (default 9600)\n"
    "  --format 8N1|8N2|8E1    character format (default 8N1)\n"
    "  --help                  show this text\n";

std::optional<long> number(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

// The options, or the reason they are wrong.
std::optional<BusOptions> parse(const std::vector<std::string>& args, std::string& error) {
    BusOptions o;
    long nodes = 0;
    std::vector<long> echo;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help") {
            o.help = true;
            continue;
        }
        if (name == "--by-character") {
            o.byCharacter = true;
            continue;
        }
        if (name != "--link" && name != "--nodes" && name != "--echo" && name != "--baud" &&
            name != "--format") {
            error = "unknown option " + args[i];
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (name == "--link") {
            if (value->empty()) {
                error = "--link needs a path";
                return std::nullopt;
            }
            o.links.push_back(*value);
        } else if (name == "--nodes") {
            const auto n = number(*value, 2, kMaxNodes);
            if (!n) {
                error = "--nodes takes 2.." + std::to_string(kMaxNodes) + ", not " + *value;
                return std::nullopt;
            }
            nodes = *n;
        } else if (name == "--echo") {
            const auto n = number(*value, 1, kMaxNodes);
            if (!n) {
                error = "--echo takes a node number 1.." + std::to_string(kMaxNodes) + ", not " +
                        *value;
                return std::nullopt;
            }
            echo.push_back(*n);
        } else if (name == "--baud") {
            const auto n = number(*value, 1, 1'000'000);
            if (!n || !korvo::isSupportedBaud(static_cast<int>(*n))) {
                error = "--baud takes 9600, 19200 or 38400, not " + *value;
                return std::nullopt;
            }
            o.line.baud = static_cast<int>(*n);
        } else {
            const auto f = korvo::withFormat(o.line, *value);
            if (!f) {
                error = "--format takes 8N1, 8N2 or 8E1, not " + *value;
                return std::nullopt;
            }
            o.line = *f;
        }
    }
    if (o.links.size() > kMaxNodes) {
        error = "at most " + std::to_string(kMaxNodes) + " nodes";
        return std::nullopt;
    }
    o.links.resize(std::max({o.links.size(), static_cast<std::size_t>(nodes), std::size_t{2}}));
    for (const long n : echo) {
        if (static_cast<std::size_t>(n) > o.links.size()) {
            error = "--echo " + std::to_string(n) + ": there are only " +
                    std::to_string(o.links.size()) + " nodes";
            return std::nullopt;
        }
        o.echo.push_back(static_cast<std::size_t>(n - 1));
    }
    return o;
}

timespec toTimespec(Clock::duration d) {
    const auto ns =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

int run(const BusOptions& o) {
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Signals are let in only inside ppoll, so a stop never slips in between the check of
    // the flag and the wait.
    sigset_t stop;
    sigset_t waitMask;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stop, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    // Characters are handed on within microseconds of their time, as korvo-sim paces.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    korvo::Log log;
    std::vector<korvo::TtyLine> lines;
    lines.reserve(o.links.size());
    try {
        for (const std::string& link : o.links) {
            lines.push_back(korvo::TtyLine::createPty(o.line, link));
        }
    } catch (const std::exception& e) {
        std::cerr << "korvo-bus: " << e.what() << "\n";
        return 1;
    }
    std::string ready = "ready";
    for (const korvo::TtyLine& l : lines) {
        ready += " " + l.path();
    }
    log.raw(ready);
    log.line("RS-485 bus of " + std::to_string(lines.size()) + " nodes at " +
             korvo::describe(o.line) +
             (o.byCharacter ? ", every character handed on alone" : ", each write whole"));
    korvo::Medium medium(lines.size(), korvo::charTime(o.line), korvo::frameSilence(o.line));
    medium.setByCharacter(o.byCharacter);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool echo = std::find(o.echo.begin(), o.echo.end(), i) != o.echo.end();
        medium.setEcho(i, echo);
        log.line("node " + std::to_string(i + 1) + ": " + lines[i].path() +
                 (o.links[i].empty() ? "" : " (link " + o.links[i] + ")") +
                 (echo ? ", hears itself" : ""));
    }

    std::vector<std::uint64_t> unheard(lines.size(), 0);
    std::vector<korvo::Medium::Heard> heard;
    std::vector<korvo::Medium::Note> notes;
    std::vector<std::vector<std::uint8_t>> out(lines.size());
    std::vector<pollfd> fds;
    std::array<std::uint8_t, 4096> buf{};
    while (gStop == 0) {
        fds.clear();
        for (const korvo::TtyLine& l : lines) {
            fds.push_back({l.fd(), POLLIN, 0});
            fds.push_back({l.watchFd(), POLLIN, 0});  // -1 is skipped by poll
        }
        std::optional<timespec> timeout;
        if (const auto due = medium.nextDue()) {
            timeout = toTimespec(*due - Clock::now());
        }
        const int rc = ::ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, &waitMask);
        const auto now = Clock::now();
        if (rc < 0 && errno != EINTR) {
            log.line(std::string("poll failed: ") + std::strerror(errno), now);
            return 1;
        }
        for (std::size_t i = 0; rc > 0 && i < lines.size(); ++i) {
            if (fds[2 * i + 1].revents != 0) {
                for (const std::string& e : lines[i].takeWatchEvents()) {
                    log.line("node " + std::to_string(i + 1) + ": " + e, now);
                }
            }
            if (fds[2 * i].revents == 0) {
                continue;
            }
            // Bounded, so that a flood on one node cannot keep the others waiting.
            for (int chunk = 0; chunk < 16; ++chunk) {
                const ssize_t n = ::read(lines[i].fd(), buf.data(), buf.size());
                if (n <= 0) {
                    break;
                }
                const auto lost =
                    medium.write(i, std::span(buf.data(), static_cast<std::size_t>(n)), now);
                if (lost > 0) {
                    log.line("node " + std::to_string(i + 1) + " writes faster than the line: " +
                                 std::to_string(lost) + " bytes dropped",
                             now);
                }
            }
        }
        heard.clear();
        notes.clear();
        medium.advance(Clock::now(), heard, notes);
        for (const auto& h : heard) {
            out[h.node].push_back(h.byte);
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (out[i].empty()) {
                continue;
            }
            // Nobody on a node: the line goes on without it, as a bus does past an open stub.
            if (lines[i].masterPresent()) {
                const ssize_t n = ::write(lines[i].fd(), out[i].data(), out[i].size());
                unheard[i] += out[i].size() - static_cast<std::size_t>(std::max<ssize_t>(n, 0));
            }
            out[i].clear();
        }
        for (const auto& note : notes) {
            log.line(note.text, note.at);
        }
    }
    std::string lostWords;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (unheard[i] > 0) {
            lostWords += ", node " + std::to_string(i + 1) + " missed " +
                         std::to_string(unheard[i]) + " (not reading)";
        }
    }
    log.line("carried " + std::to_string(medium.carried()) + " characters; collisions " +
             std::to_string(medium.collisions()) + " (" + std::to_string(medium.garbled()) +
             " characters garbled); dropped " + std::to_string(medium.dropped()) + lostWords);
    log.line(std::string("stopped by ") + (gStop == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parse(args, error);
    if (!options) {
        std::cerr << "korvo-bus: " << error << "\nTry 'korvo-bus --help'.\n";
        return 2;
    }
    if (options->help) {
        std::cout << kHelp;
        return 0;
    }
    return run(*options);
} catch (const std::exception& e) {
    std::cerr << "korvo-bus: " << e.what() << "\n";
    return 1;
}
