// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/InterruptibleClock.h"

#include <algorithm>

#include "python/Gil.h"

namespace quarnel::python {

namespace {
// Ctrl+C is answered within this.
constexpr double kLongestSleep = 0.05;
}  // namespace

void InterruptibleClock::sleep(double seconds) {
    system_.sleep(std::min(seconds, kLongestSleep));
    // Once raised, the exception waits in the thread for the call to end.
    if (!interrupted_ && SignalRaised()) interrupted_ = true;
}

}  // namespace quarnel::python
