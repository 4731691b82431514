// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one owner of the board: it runs the connection sequence and the 10 ms
// polling cycle, takes commands between ticks in the order they arrive and
// publishes everything it learns as events. Nothing else touches the link.
//
//   BoardWorker worker(board, clock, sink);
//   worker.start(appDir, quick, barTwips);   // GUI: its own thread
//   worker.post(WriteRegister{0x18, 0x09});  // from any thread
//   worker.stop();
//
// Without a thread (tests, quarnelctl, the Python module): connect(), then
// step() per tick or run() for the drift-free loop on the calling thread; a
// command posted between steps runs at once.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "board/BoardCommands.h"
#include "board/BoardEvents.h"
#include "link/Clock.h"
#include "link/Orvalink.h"
#include "monitor/ChipLimits.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"

namespace quarnel::board {

// The period of the polling cycle's ticks.
inline constexpr double kTickSeconds = 0.01;

class BoardWorker {
  public:
    BoardWorker(Orvalink& board, Clock& clock, EventSink publish);
    ~BoardWorker();
    BoardWorker(const BoardWorker&) = delete;
    BoardWorker& operator=(const BoardWorker&) = delete;

    // The worker's own state. Touch it only before start() or without a thread.
    Session& session() { return session_; }
    MasterPoll& poll() { return poll_; }

    // Asked during every wait and between ticks; true ends them (Ctrl+C).
    std::function<bool()> stopRequested;
    // The board's own account of a link failure, asked once when one ends something.
    std::function<std::string()> failureCause;

    // The connection sequence on the calling thread; progress as StartupStep
    // events, then Connected. Throws LinkFailure (LinkFailed published first) or
    // StartupCancelled (StartupStopped published).
    void connect(const std::string& applicationDir, bool quick, int barWidthTwips = 5415);
    // Queued commands, then one tick. Throws LinkFailure.
    void step();
    // The drift-free loop on the calling thread: a tick every `period` seconds
    // of the monotonic clock until `done` (asked after each tick) holds or a stop
    // is requested. False when a stop ended it. Throws LinkFailure.
    bool run(const std::function<bool()>& done = {}, double period = kTickSeconds);

    // Connection sequence and loop on a thread of the worker's own. A link
    // failure or a stop ends the thread; events say which.
    void start(std::string applicationDir, bool quick, int barWidthTwips);
    // Asks the thread (or run()) to end at its next wait or tick.
    void requestStop() { stop_ = true; }
    // Asks the thread (or run()) to end and waits for it. Safe to call twice.
    void stop();
    bool running() const { return thread_.joinable(); }

    // From any thread. Without a thread and outside a tick the command runs at
    // once; otherwise it waits for the end of the tick. Ignored after a failure.
    void post(Command command);
    // A ticket that tells this requester's answers from others'.
    uint64_t newTicket() { return ++tickets_; }

    // The link has failed: no command or tick runs any more.
    bool failed() const { return failed_; }

    // Once connected, a link failure is not the end: the board is reopened with
    // the same options (the connection sequence again), waiting 1 s, then twice
    // as long after each failed try, up to 30 s. Set before connect() or start().
    void setReconnect(bool on) { reconnect_ = on; }
    // Between a BoardLost and the Reconnected that ends it.
    bool boardLost() const { return lost_; }
    static constexpr double kFirstReconnectWait = 1.0;
    static constexpr double kLongestReconnectWait = 30.0;

  private:
    class EventNotifier final : public Notifier {
      public:
        explicit EventNotifier(BoardWorker& worker) : worker_(worker) {}
        void message(const std::string& text, Icon icon) override;

      private:
        BoardWorker& worker_;
    };

    struct StepGuard;
    bool stopping() const;
    // Sleeps on the monotonic clock until due; false when a stop cut it short.
    bool waitUntil(double due);
    void onLinkFailure(int code);
    // Waits and reopens until the board is back (true) or a stop came (false).
    bool reconnect();
    void warmUp();
    void runQueued();
    void execute(const Command& command);
    void tick();
    void publishLimits();
    void onWritten(int32_t reg, int32_t value);
    void onLayout(bool graphs, bool limits);

    Clock& clock_;
    EventSink publish_;
    EventNotifier notifier_{*this};
    Session session_;
    MasterPoll poll_;

    std::mutex mutex_;
    std::deque<Command> queue_;
    bool threaded_ = false;  // guarded by mutex_
    bool inStep_ = false;    // guarded by mutex_
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> tickets_{0};
    std::thread thread_;

    std::atomic<bool> lost_{false};
    bool reconnect_ = false;
    bool connected_ = false;
    std::string applicationDir_;  // what connect() was given, for a reconnection
    bool quick_ = false;
    int barWidthTwips_ = 5415;

    // Worker-side only.
    std::optional<Watch> watch_;
    bool limitsSubscribed_ = false;
    ChipLimits limits_;
};

}  // namespace quarnel::board
