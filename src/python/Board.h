// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnel.Board: a connected board as quarnelctl's commands see it. Every call
// runs the core without the GIL, one call at a time, and turns the core's
// outcomes into Python's: a link failure into BoardError, the board's warnings
// into BoardWarning, a Ctrl+C during a wait into KeyboardInterrupt.

#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "board/BoardConnection.h"

namespace quarnel::python {

namespace py = pybind11;

// BoardError.status of a board this process holds already (a Board not closed).
inline constexpr int kHeldByThisProcess = 4;

// Where a stream of readings is: made by Board.stream(), advanced by next().
struct StreamPlan {
    std::optional<double> interval;  // seconds between snapshots; none: one per cycle
    std::optional<int64_t> count;
    std::optional<double> duration;
    bool fahrenheit = false;
    int64_t given = 0;      // snapshots so far
    double started = -1.0;  // monotonic; negative before the first
    double due = 0.0;       // the next snapshot's time
};

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
    // Appends a run to the log file as quarnelctl log does; returns the lines logged.
    int64_t log(const std::string& path, std::optional<std::array<bool, kLogChannelCount>> channels,
                double interval, std::optional<int64_t> count, std::optional<double> duration,
                bool fahrenheit);
    // The stream's next snapshot, or nullopt when it is through.
    std::optional<py::object> next(StreamPlan& plan);
    // Saves and lets go of the board; later calls raise ValueError. Closing twice is harmless.
    void close();
    bool closed();
    std::string description();

  private:
    struct State;
    class NoteTaker;
    class Turn;
    // Runs work on the connection without the GIL. work touches the state only,
    // never this Board: finalisation may free it while a daemon thread's call runs.
    void run(const std::function<void(State&, board::BoardConnection&)>& work);
    // Before the first readings: every channel converted twice.
    static void warmUp(State& state, board::BoardConnection& c);
    // The readings now, as a line of quarnelctl monitor --json.
    static OrderedJson snapshot(State& state, board::BoardConnection& c, bool fahrenheit);

    std::shared_ptr<State> state_;  // shared with the calls in progress
};

}  // namespace quarnel::python
