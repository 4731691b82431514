// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clock as the program's session sees it: the real one, except that its
// waits (the start-up's settling delays) keep the event loop turning, so a
// signal is seen at once, and end early once a stop has been requested.

#include <functional>

#include "link/Clock.h"

namespace quarnel {

class YieldingClock final : public Clock {
  public:
    YieldingClock(Clock& base, std::function<bool()> stopRequested)
        : base_(base), stopRequested_(std::move(stopRequested)) {}

    double timeOfDay() const override { return base_.timeOfDay(); }
    double monotonic() const override { return base_.monotonic(); }
    // Sleeps in short slices, handling events between them; returns as soon
    // as a stop is requested (the delay then tells its caller).
    void sleep(double seconds) override;

  private:
    Clock& base_;
    std::function<bool()> stopRequested_;
};

}  // namespace quarnel
