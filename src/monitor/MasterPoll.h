// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The polling cycle run by the master timer every 10 ms: one reading (two
// register reads) per tick, then the rate-limited window refreshes and the
// logging step.

#include <cstdint>
#include <optional>
#include <string>

#include "monitor/Session.h"

namespace quarnel {

inline constexpr int kPollStates = 12;
// The poll state that takes each reading; CurrentReadings::Taken has its bit
// set once that reading has been taken.
enum PollReading : int {
    kPollInternalTemp = 0,
    kPollExternalTemp = 1,
    kPollVdd = 2,
    kPollAin5 = 3,
    kPollAin6 = 4,
    kPollAin7 = 5,
    kPollAin8 = 6,
    kPollStatus = 7,
    kPollAin1 = 8,
    kPollAin2 = 9,
    kPollAin3 = 10,  // VarnoTemp too
    kPollAin4 = 11,
};
// A whole round of the chip's conversions at its slower ADC clock, with room
// to spare: after a change of the shared pins' function, results older than
// this may still be conversions of the old function.
inline constexpr double kConversionRoundSeconds = 0.15;
inline constexpr double kGraphRefreshSeconds = 0.1;
inline constexpr double kRegMapRefreshSeconds = 0.5;
inline constexpr double kLimitsRefreshSeconds = 0.5;
inline constexpr const char* kStatusIdleText = "Status";
inline constexpr const char* kStatusLoggingText = "Data Logging Enabled";

// What the main window does for the tick.
class PollCallouts {
  public:
    virtual ~PollCallouts() = default;
    virtual void UpdateGraphingForm() = 0;                    // frmGraphing
    virtual bool ContinuousReadChecked() const = 0;           // frmRegMap's chkContRead is checked
    virtual void RegMapRead() = 0;                            // frmRegMap's cmdRead_Click
    virtual void UpdateLimitsForm() = 0;                      // frmLimits
    virtual void SetStatusText(const std::string& text) = 0;  // first status-bar panel
    // Logging was stopped because a line could not be written (the notifier
    // has told the user); the logging window shows its stopped state.
    virtual void LoggingStopped() {}
};

// Due when more than `interval` seconds passed since `last`, or the clock
// went back past midnight.
bool IsDue(double now, double last, double interval);

class MasterPoll {
  public:
    explicit MasterPoll(Session& session) : session_(session) {}

    int16_t PollState = 0;         // the reading the next tick takes, 0 to 11
    double LastGraphUpdate = 0.0;  // seconds since midnight
    double LastRegMapRead = 0.0;
    double LastLimitsUpdate = 0.0;
    // The fourth time, LastLogTime, is session.logging.LastLogTime.

    // One tick. With callouts == nullptr the window refreshes and status
    // texts are skipped; the reading and the logging step still run.
    void Tick(PollCallouts* callouts);

    // Takes the reading selected by PollState and advances it (step 1 only).
    void TakeReading();

  private:
    // Forgets the shared pins' readings when their function changed, so no
    // window shows an old-function result as a new-function reading.
    void followChannelMode();

    Session& session_;
    std::optional<ChannelFunction> seenMode_;
    double sharedPinsStaleUntil_ = 0.0;  // monotonic seconds
};

}  // namespace quarnel
