// SPDX-License-Identifier: MIT
#include "sim/posix/runloop.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <iostream>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>

#include "sim/module.h"
#include "sim/posix/log.h"
#include "sim/posix/ttyline.h"
#include "sim/text.h"

namespace korvo {

namespace {

volatile std::sig_atomic_t gStopSignal = 0;
std::atomic<const char*> gStopReason{nullptr};  // set by stopRun() before its signal

// C linkage for sigaction; static because a C name escapes every namespace it sits in.
extern "C" {
static void onStopSignal(int sig) {
    gStopSignal = sig;
}
}

void installStopHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

constexpr auto kDeviceRetry = std::chrono::milliseconds(500);
constexpr auto kWriteStall = std::chrono::milliseconds(200);

timespec toTimespec(Clock::duration d) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Signals are blocked except inside ppoll, so a stop can never slip in between a check of
// the flag and the wait that follows it.
class Signals {
  public:
    Signals() {
        installStopHandlers();
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, SIGINT);
        sigaddset(&stop, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &stop, &waitMask_);
        sigdelset(&waitMask_, SIGINT);
        sigdelset(&waitMask_, SIGTERM);
    }
    const sigset_t* waitMask() const { return &waitMask_; }
    bool stopped() const { return gStopSignal != 0; }

  private:
    sigset_t waitMask_{};
};

class Runner {
  public:
    Runner(const Options& o, TtyLine& line, Log& log, const Signals& sig, const Observer& observe)
        : o_(o), line_(line), log_(log), sig_(sig), observe_(observe), module_(o.module) {
        burst_.reserve(kMaxBurst);
        retime();
        if (observe_) {
            observe_(module_, {});
        }
    }

    void loop();
    void summary();

  private:
    void retime() {
        charTime_ = charTime(module_.line());
        silence_ = frameSilence(module_.line());
    }
    // Sleeps until `deadline`; false when a stop signal came first.
    bool waitUntil(Clock::time_point deadline) const;
    void readLine(Clock::time_point now);
    // With --echo: sends what was just read straight back.
    void echo(std::span<const std::uint8_t> bytes);
    // The log line of the echo of the burst that ends at `at`, if anything was echoed.
    void noteEcho(Clock::time_point at);
    void endBurst();
    // Writes the reply, paced or at once; the time its first byte went out, if any did.
    std::optional<Clock::time_point> send(const std::vector<std::uint8_t>& bytes);
    bool writeByte(const std::uint8_t* data, std::size_t size, std::size_t& done);
    void flushPending();

    const Options& o_;
    TtyLine& line_;
    Log& log_;
    const Signals& sig_;
    const Observer& observe_;
    Module module_;
    std::optional<SeenLine> master_;  // as set when the burst began
    std::vector<std::uint8_t> burst_;
    std::size_t burstTotal_ = 0;
    Clock::time_point lastByte_;
    Clock::time_point firstByte_;
    // Until then the module is storing an upload and hears nothing.
    Clock::time_point deafUntil_;
    std::chrono::microseconds charTime_{};
    std::chrono::microseconds silence_{};
    unsigned delays_ = 0;
    unsigned echoes_ = 0;       // bursts echoed
    std::size_t echoed_ = 0;    // bytes of this burst echoed
    std::size_t echoLost_ = 0;  // bytes of this burst the line would not take back
    bool hangupSeen_ = false;
    std::vector<std::pair<Clock::time_point, std::string>> pending_;
    std::optional<std::pair<Clock::time_point, std::string>> heldUp_;  // of the last reply
};

bool Runner::waitUntil(Clock::time_point deadline) const {
    for (;;) {
        if (sig_.stopped()) {
            return false;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        const timespec ts = toTimespec(left);
        ::ppoll(nullptr, 0, &ts, sig_.waitMask());
    }
}

void Runner::loop() {
    while (!sig_.stopped()) {
        std::array<pollfd, 2> fds{};
        nfds_t n = 0;
        // After a hang-up the line is left alone for a while instead of polled in a spin.
        const int io = hangupSeen_ ? -1 : line_.fd();
        if (io >= 0) {
            fds[n++] = {io, POLLIN, 0};
        }
        if (line_.watchFd() >= 0) {
            fds[n++] = {line_.watchFd(), POLLIN, 0};
        }
        std::optional<timespec> timeout;
        if (burstTotal_ > 0) {
            const auto left = lastByte_ + silence_ - Clock::now();
            if (left <= Clock::duration::zero()) {
                endBurst();
                continue;
            }
            timeout = toTimespec(left);
        } else if (io < 0) {
            timeout = toTimespec(kDeviceRetry);
        }
        const int rc = ::ppoll(fds.data(), n, timeout ? &*timeout : nullptr, sig_.waitMask());
        const auto now = Clock::now();
        if (rc < 0) {
            continue;  // EINTR: the loop condition looks at the signal
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == io) {
                readLine(now);
            } else {
                for (std::string& e : line_.takeWatchEvents()) {
                    pending_.emplace_back(now, std::move(e));
                }
                flushPending();
            }
        }
        if (io < 0 && rc == 0) {
            if (hangupSeen_) {
                hangupSeen_ = false;
            } else if (line_.reopen()) {
                log_.line(line_.path() + " is back", now);
            }
        }
    }
}

void Runner::readLine(Clock::time_point now) {
    std::array<std::uint8_t, 4096> buf{};
    // Bounded, so that a writer faster than us cannot keep the loop (and its signals) away.
    for (int chunk = 0; chunk < 16; ++chunk) {
        const ssize_t n = ::read(line_.fd(), buf.data(), buf.size());
        if (n > 0) {
            if (burstTotal_ == 0) {
                master_ = line_.masterLine();
                firstByte_ = now;
            }
            const auto got = static_cast<std::size_t>(n);
            echo({buf.data(), got});
            const std::size_t room = kMaxBurst - std::min(burst_.size(), kMaxBurst);
            burst_.insert(burst_.end(), buf.begin(), buf.begin() + std::min(got, room));
            burstTotal_ += got;
            lastByte_ = now;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        // End of file or an error: the device went away (a pty master never gets here
        // because its slave side is held open).
        if (line_.isPty()) {
            log_.line("the line reports a hang-up; waiting", now);
            hangupSeen_ = true;
        } else {
            log_.line(line_.path() + " hung up; waiting for it to come back", now);
            line_.dropDevice();
        }
        return;
    }
}

void Runner::echo(std::span<const std::uint8_t> bytes) {
    if (!o_.echo) {
        return;
    }
    std::size_t done = 0;
    writeByte(bytes.data(), bytes.size(), done);
    echoed_ += done;
    echoLost_ += bytes.size() - done;
}

void Runner::noteEcho(Clock::time_point at) {
    if (echoed_ + echoLost_ == 0) {
        return;
    }
    std::string words = "fault echo #" + std::to_string(++echoes_) + ": " +
                        std::to_string(echoed_) + " bytes echoed as they came";
    if (echoLost_ > 0) {
        words += ", " + std::to_string(echoLost_) + " not taken by the line";
    }
    pending_.emplace_back(at, std::move(words));
    echoed_ = 0;
    echoLost_ = 0;
}

void Runner::endBurst() {
    const auto endAt = lastByte_;
    if (burstTotal_ > kMaxBurst) {
        log_.line("rx " + std::to_string(burstTotal_) + " bytes, longer than any frame: dropped",
                  endAt);
        noteEcho(endAt);
        flushPending();
        burst_.clear();
        burstTotal_ = 0;
        return;
    }
    if (firstByte_ < deafUntil_) {
        pending_.emplace_back(endAt, "rx " + hex(burst_) + ": not heard, still storing the upload");
        noteEcho(endAt);
        burst_.clear();
        burstTotal_ = 0;
        flushPending();
        return;
    }
    Result r = module_.receive(burst_, master_);
    pending_.emplace_back(endAt, "rx " + hex(burst_));
    noteEcho(endAt);
    if (r.verdict == Verdict::ConfigApplied && o_.settle.count() > 0) {
        deafUntil_ = endAt + o_.settle;
        r.events.push_back("storing the upload: deaf for " + std::to_string(o_.settle.count()) +
                           " ms");
    }
    burst_.clear();
    burstTotal_ = 0;
    for (std::string& e : r.events) {
        pending_.emplace_back(endAt, std::move(e));
    }
    if (!r.reply.empty() && !line_.masterPresent()) {
        pending_.emplace_back(endAt, "no master has the line open: reply of " +
                                         std::to_string(r.reply.size()) + " bytes not sent");
    } else if (!r.reply.empty()) {
        if (o_.delay.count() > 0) {
            pending_.emplace_back(endAt, "fault delay #" + std::to_string(++delays_) +
                                             ": answering " + std::to_string(o_.delay.count()) +
                                             " ms late");
            flushPending();
            if (!waitUntil(Clock::now() + o_.delay)) {
                return;  // stopping: the reply is not owed any more
            }
        }
        const std::size_t size = r.reply.size();
        if (const auto at = send(r.reply)) {
            pending_.emplace_back(*at, "tx " + hex(r.reply));
            // The log's stamps are whole milliseconds; timing work needs the reply's delay finer.
            pending_.emplace_back(
                *at, "reply's first byte " +
                         std::to_string(
                             std::chrono::duration_cast<std::chrono::microseconds>(*at - endAt)
                                 .count()) +
                         " us after the request's last byte");
            if (heldUp_) {
                pending_.push_back(*std::exchange(heldUp_, std::nullopt));
            }
        } else {
            pending_.emplace_back(Clock::now(), "tx failed: the line took none of the " +
                                                    std::to_string(size) + " reply bytes");
        }
    }
    if (r.lineChanged) {
        line_.apply(module_.line());
        retime();
    }
    flushPending();
}

void Runner::flushPending() {
    std::vector<std::string> logged;
    for (auto& [at, text] : pending_) {
        log_.line(text, at);
        if (observe_) {
            logged.push_back(std::move(text));
        }
    }
    pending_.clear();
    if (observe_) {
        observe_(module_, logged);
    }
}

bool Runner::writeByte(const std::uint8_t* data, std::size_t size, std::size_t& done) {
    const auto giveUp = Clock::now() + kWriteStall;
    while (done < size) {
        const ssize_t n = ::write(line_.fd(), data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (Clock::now() >= giveUp || sig_.stopped()) {
            return false;
        }
        pollfd p{line_.fd(), POLLOUT, 0};
        const timespec ts = toTimespec(std::chrono::milliseconds(10));
        ::ppoll(&p, 1, &ts, sig_.waitMask());
    }
    return true;
}

std::optional<Clock::time_point> Runner::send(const std::vector<std::uint8_t>& bytes) {
    if (line_.fd() < 0) {
        return std::nullopt;
    }
    std::optional<Clock::time_point> first;
    std::size_t done = 0;
    if (!o_.pace) {
        first = Clock::now();
        writeByte(bytes.data(), bytes.size(), done);
    } else {
        // Each character becomes available when its last bit has gone out.
        const auto start = Clock::now();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (!waitUntil(start + charTime_ * static_cast<int>(i + 1))) {
                break;
            }
            if (!first) {
                first = Clock::now();
            }
            if (!writeByte(bytes.data(), i + 1, done)) {
                break;
            }
        }
        // A busy machine can hold the module up; a master that read before the last byte
        // came needs to know that the reply was late, not short.
        const auto due = start + charTime_ * static_cast<int>(bytes.size());
        const auto now = Clock::now();
        if (done == bytes.size() &&
            now - due > std::max<Clock::duration>(charTime_, std::chrono::milliseconds(1))) {
            heldUp_.emplace(
                now,
                "reply held up: its last byte went out " +
                    std::to_string(
                        std::chrono::duration_cast<std::chrono::milliseconds>(now - due).count()) +
                    " ms after its time");
        }
    }
    if (done < bytes.size()) {
        pending_.emplace_back(Clock::now(), "line stalled: " + std::to_string(bytes.size() - done) +
                                                " of " + std::to_string(bytes.size()) +
                                                " reply bytes not sent");
    }
    return done > 0 ? first : std::nullopt;
}

void Runner::summary() {
    const Faults& f = module_.faults();
    const FaultCounts& c = module_.faultCounts();
    std::string s;
    const auto add = [&](bool on, const char* name, unsigned count) {
        if (on) {
            s += (s.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(count);
        }
    };
    add(f.noReply, "no-reply", c.noReply);
    add(o_.delay.count() > 0, "delay", delays_);
    add(f.corruptCrc, "corrupt-crc", c.corruptCrc);
    add(f.truncate.has_value(), "truncate", c.truncate);
    add(f.extra > 0, "extra", c.extra);
    add(f.exception.has_value(), "exception", c.exception);
    add(o_.echo, "echo", echoes_);
    if (!s.empty()) {
        log_.line("faults injected: " + s);
    }
}

std::string faultWords(const Options& o) {
    const Faults& f = o.module.faults;
    std::string s;
    const auto add = [&](const std::string& w) { s += (s.empty() ? "" : ", ") + w; };
    if (f.noReply) {
        add("no reply");
    }
    if (o.delay.count() > 0) {
        add("replies " + std::to_string(o.delay.count()) + " ms late");
    }
    if (f.corruptCrc) {
        add("corrupt CRC");
    }
    if (f.truncate) {
        add("replies cut to " + std::to_string(*f.truncate) + " bytes");
    }
    if (f.extra > 0) {
        add(std::to_string(f.extra) + " stray bytes after each reply");
    }
    if (f.exception) {
        add("exception " + hexByte(*f.exception) + " to every request");
    }
    if (o.echo) {
        add("echo");
    }
    return s.empty() ? "none" : s;
}

}  // namespace

void holdStopSignals() {
    installStopHandlers();
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
}

void stopRun(pthread_t runner, const char* why) {
    gStopReason = why;
    // Not a kill: the run loop takes SIGTERM as its request to stop, logs why and returns.
    ::pthread_kill(runner, SIGTERM);  // NOLINT(bugprone-bad-signal-to-kill-thread)
}

int run(const Options& o, const Observer& observe) {
    const Signals signals;
    // Wake-ups within a few microseconds of their deadline: framing and pacing depend on it.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Log log;
    std::optional<TtyLine> line;
    try {
        line.emplace(o.device.empty() ? TtyLine::createPty(o.module.line, o.link)
                                      : TtyLine::openDevice(o.device, o.module.line));
    } catch (const std::exception& e) {
        std::cerr << "korvo-sim: " << e.what() << "\n";
        return 1;
    }
    log.raw("ready " + line->path());
    log.line(modelName(o.module.model) + " as slave " + std::to_string(o.module.address) + " at " +
             describe(o.module.line) + (o.pace ? ", replies paced" : ", replies unpaced") +
             "; faults: " + faultWords(o));
    if (!o.link.empty()) {
        log.line("link " + o.link + " -> " + line->path());
    }
    Runner runner(o, *line, log, signals, observe);
    runner.loop();
    runner.summary();
    if (const char* why = gStopReason) {
        log.line(std::string("stopped: ") + why);
    } else {
        log.line(std::string("stopped by ") + (gStopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
    }
    return 0;
}

}  // namespace korvo
