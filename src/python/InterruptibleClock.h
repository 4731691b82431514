// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system clock whose sleeps let Python handle its signals: the core's waits
// (settling delays, ticks) sleep on it with the GIL released, and Ctrl+C ends
// them with KeyboardInterrupt.

#include <atomic>

#include "link/Clock.h"

namespace quarnel::python {

class InterruptibleClock final : public Clock {
  public:
    double timeOfDay() const override { return system_.timeOfDay(); }
    double monotonic() const override { return system_.monotonic(); }
    // At most a short while, then the GIL for a moment to run Python's signal
    // handlers. Called without the GIL.
    void sleep(double seconds) override;

    // A handler raised (KeyboardInterrupt is pending in the thread): the waits end.
    bool interrupted() const { return interrupted_; }
    void clearInterrupted() { interrupted_ = false; }

  private:
    SystemClock system_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace quarnel::python
