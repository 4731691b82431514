// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnel.Board: a connected board as quarnelctl's commands see it. Every call
// runs the core without the GIL, one call at a time, and turns the core's
// outcomes into Python's: a link failure into BoardError, the board's warnings
// into BoardWarning, a Ctrl+C during a wait into KeyboardInterrupt.

#include <pybind11/pybind11.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/BoardConnection.h"
#include "python/InterruptibleClock.h"

namespace quarnel::python {

namespace py = pybind11;

class Board {
  public:
    // Starts the board as quarnelctl does: the firmware from applicationDir unless
    // options.firmware names one.
    Board(const board::BoardOptions& options, const std::string& applicationDir);
    ~Board();

    py::object info();
    int read(int address);
    int write(int address, int value);
    py::object dump();
    py::object readings(bool fahrenheit);
    py::object saveProfile(const std::string& path);
    py::object loadProfile(const std::string& path, bool dryRun, bool force);
    // Saves and lets go of the board; later calls raise ValueError. Closing twice is harmless.
    void close();
    bool closed();
    std::string description();

  private:
    class NoteTaker;
    class Turn;
    // Runs work on the connection without the GIL.
    void run(const std::function<void(board::BoardConnection&)>& work);

    std::mutex mutex_;                      // one call at a time; taken without the GIL
    std::atomic<std::thread::id> owner_{};  // the thread whose call holds mutex_
    InterruptibleClock clock_;
    std::vector<std::string> notes_;  // the board's warnings during the present call
    std::unique_ptr<NoteTaker> notifier_;
    std::unique_ptr<board::BoardConnection> connection_;
    double openedAt_ = 0.0;  // monotonic; readings' time counts from here
    bool warmedUp_ = false;
};

}  // namespace quarnel::python
