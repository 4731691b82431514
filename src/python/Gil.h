// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Letting go of the GIL for the core's work, and taking it back safely. Python
// ends a thread that takes the GIL while it finalises (a daemon thread at the
// script's end) with pthread_exit: a forced unwind through our frames, which
// aborts the process at a noexcept frame or a catch (...) that swallows it, and
// whose cleanups would run Python without the GIL. Such a thread waits for the
// process to end instead; where the unwind cannot be avoided, it goes through.

#include <pybind11/pybind11.h>
#include <signal.h>

namespace quarnel::python {

class GilReleased {
  public:
    GilReleased();
    // May unwind (pthread_exit) when finalising began while it waited for the GIL.
    ~GilReleased() noexcept(false);
    GilReleased(const GilReleased&) = delete;
    GilReleased& operator=(const GilReleased&) = delete;

    // A forced unwind goes through: the thread ends without taking the GIL back.
    // Call it from catch (abi::__forced_unwind&) before the rethrow.
    void ending() { ending_ = true; }

  private:
    PyThreadState* state_;
    PyThreadState* outer_;  // the same thread's enclosing release, if any
    sigset_t signals_;      // the thread's signal mask before
    bool ending_ = false;
};

// Runs Python's signal handlers (with the GIL for a moment); true when one raised,
// and true once Python finalises, so that the call ends. Called without the GIL,
// inside a GilReleased.
bool SignalRaised();

}  // namespace quarnel::python
