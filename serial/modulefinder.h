// SPDX-License-Identifier: MIT
#pragma once

// Sends the probes of a plan one after another on a serial control, each waiting no
// longer than its line needs, and tells what answered. Driven by the event loop (bytes
// arriving and one timer), so a window stays responsive and a command line program simply
// runs its loop until finished().

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>
#include <span>
#include <vector>

#include "core/finder.h"

class MSComm;

namespace serial {

class ModuleFinder : public QObject {
    Q_OBJECT
  public:
    // Turnaround allowed beyond the line's own times: a module answering at once through an
    // adapter that hands bytes on within a millisecond or two.
    static constexpr finder::Micros DefaultAllowance{2000};

    struct Options {
        finder::Micros allowance = DefaultAllowance;
        // Go on after the first module (a bus with several).
        bool wholeBus = false;
        // Waited before the first probe with the port as it is: for an upload still on its
        // way out and a module that stores it before answering again.
        std::chrono::milliseconds startDelay{0};
    };

    // port must outlive the search; it may be open (its settings are put back at the end)
    // or closed (it is opened for the search and closed after it).
    explicit ModuleFinder(MSComm& port, QObject* parent = nullptr);
    ~ModuleFinder() override;

    // Returns at once; finished() follows from the event loop, also when the port cannot be
    // opened. Ignored while a search runs.
    void start(std::vector<finder::Probe> plan, const Options& options);
    // Ends the search from the event loop, before another probe is sent.
    void cancel();
    bool running() const { return state_ != State::Idle; }

  signals:
    // Before each probe goes out.
    void progress(const finder::Progress& progress);
    // A probe met a module or something unreadable.
    void answered(const finder::Answer& answer);
    void finished(const finder::Summary& summary);

  private:
    enum class State { Idle, Starting, Settling, Pausing, Probing, Concluding, Ending };
    using Clock = std::chrono::steady_clock;

    void onTimer();
    void onBytes();
    void begin();
    void next();
    void send();
    // Takes what waits in the port; pushes the deadline on when bytes came.
    void absorb();
    void probeTimeUp();
    void conclude();
    // Bytes that are the answer of an earlier probe, which met silence in its own time:
    // recorded as its find (late); true when they were.
    bool takeLate(std::span<const std::uint8_t> bytes);
    // The runs of bytes that share() gave earlier probes: their echoes and answers, late.
    // True when an answer found a module.
    bool creditEarlier(const finder::Share& share, std::span<const std::uint8_t> bytes);
    // Where the current probe's own bytes begin among received_.
    finder::Share shareOfReceived() const;
    std::vector<std::vector<std::uint8_t>> owedEchoes() const;
    finder::Micros allowance() const;
    void finish();
    void fail(const QString& reason);
    void setLine(const QString& settings);
    void arm(Clock::time_point at);
    template <typename Step>
    void guarded(Step step);

    MSComm& port_;
    QTimer timer_;
    State state_ = State::Idle;
    Options options_;
    std::vector<finder::Probe> plan_;
    std::vector<finder::Micros> left_;
    std::size_t next_ = 0;
    finder::Summary summary_;
    bool openedHere_ = false;
    QString settingsBefore_;
    std::optional<finder::Line> line_;
    std::array<std::uint8_t, 8> request_{};
    std::vector<std::uint8_t> received_;
    // Echoes an echoing adapter may still hand back for recent probes, oldest first.
    struct Owed {
        finder::Probe probe;
        std::array<std::uint8_t, 8> request;
        std::vector<std::uint8_t> echo;  // the part of request not yet echoed
    };
    std::vector<Owed> owed_;
    // The port was opened again for a line setting since the last probe ended: bytes on
    // their way meanwhile may be lost, so an owed echo may come back without its start.
    bool reopened_ = false;
    // Probes that met silence at the current line setting, and the last one before it.
    std::vector<finder::Probe> silent_;
    Clock::time_point started_;
    Clock::time_point sentAt_;
    Clock::time_point deadline_;
    Clock::time_point latest_;  // a chattering line cannot hold one probe longer
    bool reading_ = false;
    bool cancelled_ = false;
    QMetaObject::Connection bytesConnection_;
    QMetaObject::Connection failConnection_;
};

}  // namespace serial
