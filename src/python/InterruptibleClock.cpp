// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/InterruptibleClock.h"

#include <pybind11/pybind11.h>

#include <algorithm>

namespace quarnel::python {

namespace {
// Ctrl+C is answered within this.
constexpr double kLongestSleep = 0.05;
}  // namespace

bool SignalRaised() {
    pybind11::gil_scoped_acquire gil;
    return PyErr_CheckSignals() != 0;
}

void InterruptibleClock::sleep(double seconds) {
    system_.sleep(std::min(seconds, kLongestSleep));
    // Once raised, the exception waits in the thread for the call to end.
    if (!interrupted_ && SignalRaised()) interrupted_ = true;
}

}  // namespace quarnel::python
