#pragma once
// The clock as the program's session sees it: the real one, except that its
// waits (the start-up's settling delays) keep the event loop turning, so a
// signal is seen at once, and give way to a stop request.

#include <functional>

#include "link/Clock.h"

namespace quarnel {

// Thrown by a wait once a stop has been requested; unwinds the start-up.
struct StopDuringWait {};

class YieldingClock final : public Clock {
  public:
    YieldingClock(Clock& base, std::function<bool()> stopRequested)
        : base_(base), stopRequested_(std::move(stopRequested)) {}

    double timeOfDay() const override { return base_.timeOfDay(); }
    double monotonic() const override { return base_.monotonic(); }
    // Sleeps in short slices, handling events between them; throws
    // StopDuringWait as soon as a stop is requested.
    void sleep(double seconds) override;

  private:
    Clock& base_;
    std::function<bool()> stopRequested_;
};

}  // namespace quarnel
