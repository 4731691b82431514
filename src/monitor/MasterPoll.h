// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The polling cycle the board worker runs every 10 ms: one reading (two
// register reads) per tick, then the watched register when due and the
// logging step.

#include <cstdint>
#include <functional>
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

// Due when more than `interval` seconds passed since `last`, or the clock
// went back past midnight.
bool IsDue(double now, double last, double interval);

class MasterPoll {
  public:
    explicit MasterPoll(Session& session) : session_(session) {}

    int16_t PollState = 0;        // the reading the next tick takes, 0 to 11
    double LastRegMapRead = 0.0;  // seconds since midnight
    // The windows keep their own refresh times (they refresh from the tick's
    // readings); LastLogTime is session.logging.LastLogTime.

    // One tick: the reading, the watched register when due, the logging
    // step. Returns the status text the tick set (nullptr: unchanged).
    const char* Tick(const std::function<void()>& watchedRead = {});

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
