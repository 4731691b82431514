// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Gil.h"

#include <unistd.h>

namespace quarnel::python {
namespace {

thread_local PyThreadState* released = nullptr;
// Python finalises on the main thread, which goes on taking the GIL meanwhile.
thread_local bool onMainThread = false;

bool othersMustStop() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() && !onMainThread;
#else
    return _Py_IsFinalizing() && !onMainThread;
#endif
}

}  // namespace

GilReleased::GilReleased() : outer_(released) {
    onMainThread = _PyOS_IsMainThread() != 0;  // with the GIL
    // Only the main thread handles Python's signals: Ctrl+C delivered to another
    // one inside our code would never wake the main thread's wait.
    sigset_t others;
    sigemptyset(&others);
    if (!onMainThread) {
        sigfillset(&others);
        for (int kept : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT})
            sigdelset(&others, kept);
    }
    pthread_sigmask(SIG_BLOCK, &others, &signals_);
    state_ = PyEval_SaveThread();
    released = state_;
}

GilReleased::~GilReleased() noexcept(false) {
    released = outer_;
    pthread_sigmask(SIG_SETMASK, &signals_, nullptr);
    if (ending_) return;
    // The interpreter is going away and the process with it: this thread must
    // not run Python again.
    if (othersMustStop())
        for (;;) ::pause();
    PyEval_RestoreThread(state_);
}

bool SignalRaised() {
    if (othersMustStop() || !released) return othersMustStop();
    // The thread's own state: one made afresh would be refused late in finalising.
    PyEval_RestoreThread(released);
    const bool raised = PyErr_CheckSignals() != 0;
    released = PyEval_SaveThread();
    return raised;
}

}  // namespace quarnel::python
