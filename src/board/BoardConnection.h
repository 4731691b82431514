// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A board as the command-line faces use it (quarnelctl, the Python module): the
// chosen board, the session on it and the polling cycle, started by the
// connection sequence and ticked without windows.
//
//   board::BoardConnection c(options, clock, {notifier, warn, usbDiagnostic, onFailure});
//   c.connect(applicationDir);       // throws LinkFailure or StartupCancelled
//   c.warmUp();
//   while (c.completeCycle()) print(c.session().readings);

#include <functional>
#include <string>

#include "board/BoardOptions.h"
#include "board/ChosenBoard.h"
#include "monitor/JsonOutput.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"

namespace quarnel::board {

// The period of the master timer the ticks stand in for.
inline constexpr double kTickSeconds = 0.01;

// Where the connection's messages go.
struct ConnectionSinks {
    Notifier& notifier;
    DiagnosticSink warn;           // the simulated board's warnings, a trace that cannot open
    DiagnosticSink usbDiagnostic;  // the USB board's line on each failure
    LinkFailureHandler onFailure;  // told before the LinkFailure is thrown
    // Asked during every wait and between ticks; true ends them early (Ctrl+C).
    std::function<bool()> stopRequested{};
};

class BoardConnection {
  public:
    BoardConnection(const BoardOptions& options, Clock& clock, ConnectionSinks sinks);

    // Firmware, bus selection, chip search, monitoring on; --quick skips the
    // settling delays. Throws LinkFailure, or StartupCancelled on a stop request.
    void connect(const std::string& applicationDir);

    Session& session() { return session_; }
    MasterPoll& poll() { return poll_; }
    const ChosenBoard& board() const { return board_; }
    // What info names about the board.
    BoardFacts facts() const;

    bool stopRequested() const { return sinks_.stopRequested && sinks_.stopRequested(); }
    // Two full cycles, so the first readings are real ones even when a quick
    // start left the chip no time to convert.
    void warmUp();
    // One tick and the timer period after it.
    void tick();
    // Ticks until a cycle of twelve readings is complete; false when a stop
    // request cut it short.
    bool completeCycle();

  private:
    BoardOptions options_;
    Clock& clock_;
    ConnectionSinks sinks_;
    ChosenBoard board_;
    Session session_;
    MasterPoll poll_;
};

}  // namespace quarnel::board
