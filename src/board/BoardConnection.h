// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A board as the command-line faces use it (quarnelctl, the Python module): the
// chosen board and the board worker on it, run on the calling thread.
//
//   board::BoardConnection c(options, clock, {notifier, warn, usbDiagnostic, onFailure});
//   c.connect(applicationDir);       // throws LinkFailure or StartupCancelled
//   c.warmUp();
//   while (c.completeCycle()) print(c.session().readings);

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardOptions.h"
#include "board/BoardWorker.h"
#include "board/ChosenBoard.h"
#include "monitor/JsonOutput.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"

namespace quarnel::board {

// Where the connection's messages go.
struct ConnectionSinks {
    Notifier& notifier;
    DiagnosticSink warn;           // the simulated board's warnings, a trace that cannot open
    DiagnosticSink usbDiagnostic;  // the USB board's line on each failure
    LinkFailureHandler onFailure;  // told before the LinkFailure is thrown
    // Asked during every wait and between ticks; true ends them early (Ctrl+C).
    std::function<bool()> stopRequested{};
    // Every event of the worker, after the messages and the failure went above.
    EventSink events{};
};

class BoardConnection {
  public:
    BoardConnection(const BoardOptions& options, Clock& clock, ConnectionSinks sinks);

    // Firmware, bus selection, chip search, monitoring on; --quick skips the
    // settling delays. Throws LinkFailure, or StartupCancelled on a stop request.
    void connect(const std::string& applicationDir);

    BoardWorker& worker() { return worker_; }
    Session& session() { return worker_.session(); }
    MasterPoll& poll() { return worker_.poll(); }
    const ChosenBoard& board() const { return board_; }
    // What info names about the board.
    BoardFacts facts() const;

    bool stopRequested() const { return sinks_.stopRequested && sinks_.stopRequested(); }
    // Two full cycles, so the first readings are real ones even when a quick
    // start left the chip no time to convert.
    void warmUp();
    // The worker's drift-free loop until done() holds after a tick; false when
    // a stop request ended it.
    bool run(const std::function<bool()>& done, double period = kTickSeconds);
    // One more listener to every event (the exporter's), after the sinks.
    void setObserver(EventSink observer) { observer_ = std::move(observer); }
    // Register reads and writes, and profiles, on the worker's command path. Throw
    // LinkFailure.
    std::vector<int> readRegisters(const std::vector<int>& registers);
    void writeRegister(int reg, int32_t value);
    ProfileRead readProfile(const std::string& savedAt);
    ProfileRead compareProfile(const Profile& profile);
    ProfileWritten writeProfile(const Profile& profile, const std::vector<RegisterChange>& changes);
    // Ticks until a cycle of twelve readings is complete; false when a stop
    // request cut it short.
    bool completeCycle();

  private:
    BoardOptions options_;
    Clock& clock_;
    ConnectionSinks sinks_;
    ChosenBoard board_;
    // Posts a command that answers with an event of type Answer, and returns that.
    template <class Answer, class Command>
    Answer ask(Command command);

    uint64_t ticket_ = 0;
    std::optional<Event> answer_;  // the event that answered ticket_
    int failure_ = -1;             // the link failure's code, once there was one
    EventSink observer_;
    BoardWorker worker_;
};

}  // namespace quarnel::board
