// SPDX-License-Identifier: MIT
#include "serial/modulefinder.h"

#include <algorithm>

#include "serial/detail/logging.h"
#include "serial/mscomm.h"

namespace serial {

namespace {

constexpr int RequestBytes = 8;
// Beyond the dead time, a probe listens at most this many characters' time to a line that
// never falls silent (foreign traffic, a babbling device).
constexpr int MaxAnswerChars = 256;
// Echoes still owed are kept for this many recent probes: at 38400 a probe lasts about
// 5 ms, and an echo held back by a slow adapter or a busy machine can trail by dozens.
constexpr std::size_t MaxOwed = 32;

std::span<const std::uint8_t> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            static_cast<std::size_t>(a.size())};
}

}  // namespace

ModuleFinder::ModuleFinder(MSComm& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { guarded([this] { onTimer(); }); });
}

// The port may already be gone (it is often a member of the window that owns this one as a
// child), so it is not touched here; its own destructor closes it.
ModuleFinder::~ModuleFinder() = default;

void ModuleFinder::start(std::vector<finder::Probe> plan, const Options& options) {
    if (running()) {
        return;
    }
    plan_ = std::move(plan);
    options_ = options;
    left_ = finder::timeLeft(plan_, RequestBytes, options_.allowance);
    next_ = 0;
    summary_ = {};
    summary_.total = static_cast<int>(plan_.size());
    cancelled_ = false;
    line_.reset();
    silent_.clear();
    owed_.clear();
    reopened_ = false;
    started_ = Clock::now();
    state_ = State::Starting;
    timer_.start(0);
}

void ModuleFinder::cancel() {
    if (!running() || state_ == State::Ending) {
        return;
    }
    cancelled_ = true;
    state_ = State::Ending;
    timer_.start(0);
}

template <typename Step>
void ModuleFinder::guarded(Step step) {
    try {
        step();
    } catch (const serial::CommError& e) {
        fail(QString::fromStdString(e.what()));
    }
}

void ModuleFinder::fail(const QString& reason) {
    if (!running()) {
        return;
    }
    if (summary_.error.isEmpty()) {
        summary_.error = reason;
    }
    finish();
}

void ModuleFinder::onTimer() {
    switch (state_) {
        case State::Starting:
            begin();
            break;
        case State::Settling:
            next();
            break;
        case State::Pausing:
            send();
            break;
        case State::Probing:
            probeTimeUp();
            break;
        case State::Concluding:
            conclude();
            break;
        case State::Ending:
            finish();
            break;
        case State::Idle:
            break;
    }
}

void ModuleFinder::begin() {
    openedHere_ = !port_.PortOpen();
    settingsBefore_ = port_.Settings();
    if (openedHere_) {
        if (!plan_.empty()) {
            port_.Settings(finder::settingsString(plan_.front().line));
            line_ = plan_.front().line;
        }
        port_.PortOpen(true);
    }
    bytesConnection_ =
        connect(&port_, &MSComm::arrived, this, [this] { guarded([this] { onBytes(); }); });
    failConnection_ =
        connect(&port_, &MSComm::portFailed, this, [this](const QString& why) { fail(why); });
    if (options_.startDelay.count() > 0) {
        state_ = State::Settling;
        timer_.start(options_.startDelay);
        return;
    }
    next();
}

void ModuleFinder::next() {
    if (cancelled_ || next_ >= plan_.size()) {
        finish();
        return;
    }
    const finder::Line line = plan_[next_].line;
    if (line_ != line) {
        setLine(finder::settingsString(line));
        line_ = line;
        // An answer still on its way can only belong to the last probe at the old setting.
        if (silent_.size() > 1) {
            silent_.erase(silent_.begin(), silent_.end() - 1);
        }
        state_ = State::Pausing;
        arm(Clock::now() + finder::switchPause());
        return;
    }
    send();
}

void ModuleFinder::send() {
    const finder::Probe& probe = plan_[next_];
    emit progress({probe, static_cast<int>(next_), summary_.total, left_[next_]});
    if (cancelled_) {
        return;
    }
    // Whatever came after the last probe ended must not pass for this one's answer; it may
    // be the last one's, late.
    reading_ = true;
    const QByteArray stale = port_.Input();
    reading_ = false;
    const finder::Share earlier = finder::share(bytesOf(stale), {}, owedEchoes(), reopened_);
    if (!stale.isEmpty()) {
        reopened_ = false;
    }
    const bool foundLate = !earlier.earlier.empty() ? creditEarlier(earlier, bytesOf(stale))
                                                    : takeLate(bytesOf(stale));
    if (foundLate && !options_.wholeBus) {
        finish();
        return;
    }
    request_ = finder::probeRequest(probe.address);
    received_.clear();
    port_.Output(request_);
    ++summary_.probes;
    qCDebug(serialdetail::finderLog).noquote()
        << "probe" << next_ + 1 << "of" << plan_.size() << "to address" << probe.address << "at"
        << finder::describe(probe.line);
    sentAt_ = Clock::now();
    deadline_ = sentAt_ + finder::deadTime(probe.line, RequestBytes, allowance());
    latest_ = deadline_ + MaxAnswerChars * finder::charTime(probe.line);
    state_ = State::Probing;
    arm(deadline_);
}

void ModuleFinder::onBytes() {
    if (state_ != State::Probing || reading_ || cancelled_) {
        return;
    }
    absorb();
    if (state_ != State::Probing) {
        return;
    }
    const auto own = std::span<const std::uint8_t>(received_).subspan(shareOfReceived().own);
    const auto j = finder::judge(request_, own, false);
    if (j.verdict == finder::Verdict::Found && !options_.wholeBus) {
        // Ended from the event loop rather than inside the port's notification.
        state_ = State::Concluding;
        timer_.start(0);
        return;
    }
    arm(deadline_);
}

void ModuleFinder::absorb() {
    reading_ = true;
    const QByteArray in = port_.Input();
    reading_ = false;
    if (in.isEmpty()) {
        return;
    }
    received_.insert(received_.end(), in.begin(), in.end());
    const finder::Line line = plan_[next_].line;
    const auto own = std::span<const std::uint8_t>(received_).subspan(shareOfReceived().own);
    const auto j = finder::judge(request_, own, false);
    // After a bare echo the module's answer is still a turnaround away; once answer bytes
    // come, a frame silence ends it.
    const finder::Micros gap = j.verdict == finder::Verdict::Silent
                                   ? finder::deadTime(line, 0, allowance())
                                   : finder::answerGap(line, allowance());
    deadline_ = std::min(latest_, std::max(deadline_, Clock::now() + gap));
}

void ModuleFinder::probeTimeUp() {
    absorb();
    if (Clock::now() < deadline_) {
        arm(deadline_);
        return;
    }
    conclude();
}

void ModuleFinder::conclude() {
    const finder::Probe probe = plan_[next_];
    const finder::Share share = shareOfReceived();
    const auto own = std::span<const std::uint8_t>(received_).subspan(share.own);
    finder::Answer answer{probe, finder::judge(request_, own, true), {own.begin(), own.end()}};
    const std::size_t echoed = finder::echoedPart(request_, own);
    if (answer.judgement.verdict == finder::Verdict::Unreadable && echoed == own.size() &&
        summary_.echoSeen) {
        // Behind an adapter that echoes, the start of the request is the echo cut short.
        answer.judgement = {};
        answer.judgement.echoed = true;
    }
    summary_.echoSeen = summary_.echoSeen || answer.judgement.echoed;
    reopened_ = false;
    ++next_;
    if (creditEarlier(share, received_) && !options_.wholeBus) {
        finish();
        return;
    }
    if (echoed < request_.size()) {
        owed_.push_back({probe, request_, {request_.begin() + echoed, request_.end()}});
        if (owed_.size() > MaxOwed) {
            owed_.erase(owed_.begin());
        }
    }
    if (answer.judgement.verdict == finder::Verdict::Unreadable && takeLate(own)) {
        // It was an earlier probe's answer; this one met nothing of its own.
        answer.judgement = {};
        if (!options_.wholeBus) {
            finish();
            return;
        }
    }
    if (answer.judgement.verdict == finder::Verdict::Silent) {
        silent_.push_back(probe);
    }
    qCDebug(serialdetail::finderLog).noquote()
        << "probe to address" << probe.address << "met" << own.size() << "bytes:"
        << (answer.judgement.verdict == finder::Verdict::Found        ? "an answer"
            : answer.judgement.verdict == finder::Verdict::Unreadable ? "unreadable"
            : answer.judgement.echoed                                 ? "its echo"
                                                                      : "silence");
    switch (answer.judgement.verdict) {
        case finder::Verdict::Found:
            summary_.found.push_back(answer);
            emit answered(answer);
            if (!options_.wholeBus) {
                finish();
                return;
            }
            break;
        case finder::Verdict::Unreadable:
            summary_.unreadable.push_back(answer);
            emit answered(answer);
            break;
        case finder::Verdict::Silent:
        case finder::Verdict::Waiting:
            break;
    }
    if (running()) {
        next();
    }
}

bool ModuleFinder::takeLate(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return false;
    }
    // An answer names its address: the latest silent probe of that address is its own.
    const auto own =
        std::find_if(silent_.rbegin(), silent_.rend(),
                     [&bytes](const finder::Probe& p) { return p.address == bytes[0]; });
    if (own == silent_.rend()) {
        return false;
    }
    const auto j = finder::judge(finder::probeRequest(own->address), bytes, true);
    if (j.verdict != finder::Verdict::Found) {
        return false;
    }
    finder::Answer late{*own, j, {bytes.begin(), bytes.end()}, true};
    silent_.erase(std::next(own).base());
    summary_.found.push_back(late);
    emit answered(late);
    return true;
}

std::vector<std::vector<std::uint8_t>> ModuleFinder::owedEchoes() const {
    std::vector<std::vector<std::uint8_t>> echoes;
    echoes.reserve(owed_.size());
    for (const Owed& o : owed_) {
        echoes.push_back(o.echo);
    }
    return echoes;
}

finder::Share ModuleFinder::shareOfReceived() const {
    return finder::share(received_, request_, owedEchoes(), reopened_);
}

bool ModuleFinder::creditEarlier(const finder::Share& share, std::span<const std::uint8_t> bytes) {
    if (share.earlier.empty()) {
        return false;
    }
    summary_.echoSeen = true;
    bool found = false;
    for (const finder::Segment& run : share.earlier) {
        const Owed& owed = owed_[run.owed];
        const auto mine = bytes.subspan(run.begin, run.end - run.begin);
        const auto reply = mine.subspan(std::min(owed.echo.size() - run.lost, mine.size()));
        if (reply.empty()) {
            continue;
        }
        finder::Answer late{
            owed.probe, finder::judge(owed.request, reply, true), {mine.begin(), mine.end()}, true};
        late.judgement.echoed = true;
        if (late.judgement.verdict == finder::Verdict::Found) {
            silent_.erase(std::remove(silent_.begin(), silent_.end(), owed.probe), silent_.end());
            summary_.found.push_back(late);
            found = true;
        } else if (late.judgement.verdict == finder::Verdict::Unreadable) {
            summary_.unreadable.push_back(late);
        } else {
            continue;
        }
        emit answered(late);
    }
    // Echoes come in order: those before the last one seen are not coming any more, and of
    // the last, what has not come yet is still owed.
    const finder::Segment& last = share.earlier.back();
    const std::size_t came = last.lost + last.end - last.begin;
    std::vector<std::uint8_t>& echo = owed_[last.owed].echo;
    std::size_t drop = last.owed;
    if (came < echo.size()) {
        echo.erase(echo.begin(), echo.begin() + static_cast<std::ptrdiff_t>(came));
    } else {
        ++drop;
    }
    owed_.erase(owed_.begin(), owed_.begin() + static_cast<std::ptrdiff_t>(drop));
    return found;
}

finder::Micros ModuleFinder::allowance() const {
    return finder::allowanceFor(next_, options_.allowance);
}

void ModuleFinder::finish() {
    if (!running()) {
        return;
    }
    timer_.stop();
    state_ = State::Idle;
    disconnect(bytesConnection_);
    disconnect(failConnection_);
    try {
        if (openedHere_) {
            port_.PortOpen(false);
        } else if (port_.PortOpen() && port_.Settings() != settingsBefore_) {
            setLine(settingsBefore_);
        }
    } catch (const serial::CommError& e) {
        if (summary_.error.isEmpty()) {
            summary_.error = QString::fromStdString(e.what());
        }
    }
    summary_.cancelled = cancelled_;
    summary_.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    qCDebug(serialdetail::finderLog).noquote()
        << "search over after" << summary_.probes << "probes:" << summary_.found.size() << "found"
        << (cancelled_ ? ", cancelled" : "") << summary_.error;
    emit finished(summary_);
}

void ModuleFinder::setLine(const QString& settings) {
    try {
        port_.Settings(settings);
    } catch (const serial::CommError&) {
        // Some devices refuse a change while open (a pseudo-terminal refuses parity); they
        // take it when opened again.
        port_.PortOpen(false);
        port_.Settings(settings);
        port_.PortOpen(true);
        reopened_ = true;
    }
}

void ModuleFinder::arm(Clock::time_point at) {
    const auto left = at - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left);
    timer_.start(std::max<std::chrono::milliseconds::rep>(0, ms.count()));
}

}  // namespace serial
