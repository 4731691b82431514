// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time seam: the time of day drives rate limits and logging, the monotonic
// time drives every wait (a wait that crosses midnight must still end).

namespace quarnel {

inline constexpr double kSecondsPerDay = 86400.0;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual double timeOfDay() const = 0;  // seconds since local midnight, with fractions
    virtual double monotonic() const = 0;  // seconds from an arbitrary origin, never goes back
    // May return early (a signal arrived); a caller that needs the whole wait loops on
    // monotonic().
    virtual void sleep(double seconds) = 0;
};

class SystemClock final : public Clock {
  public:
    double timeOfDay() const override;
    double monotonic() const override;
    void sleep(double seconds) override;
};

// Test clock: set by hand, and advanced (both times) by whatever sleeps on it.
// The time of day wraps at midnight.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(double timeOfDay = 0.0) : timeOfDay_(timeOfDay) {}
    double timeOfDay() const override { return timeOfDay_; }
    double monotonic() const override { return monotonic_; }
    void sleep(double seconds) override { advance(seconds); }

    void advance(double seconds);
    void setTimeOfDay(double seconds) { timeOfDay_ = seconds; }

  private:
    double timeOfDay_;
    double monotonic_ = 0.0;
};

}  // namespace quarnel
