// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows' side of the board worker: its events arrive here (from the
// worker's thread or, without a thread, at once), become the latest state
// every window reads and are re-emitted as signals on the GUI thread. Windows
// change the board only by posting commands through it; none holds a copy of
// a register that it could write back later.

#include <QObject>
#include <array>
#include <functional>
#include <optional>

#include "board/BoardCommands.h"
#include "board/BoardEvents.h"

namespace quarnel {

// The windows whose open flag the GUI keeps.
enum class FlaggedWindow { Graphs, Limits, RegMap };

// The GUI's own flags; the main window and the tool windows read them here.
struct SharedFlags {
    bool GraphsWindowOpen = false;
    bool LimitsWindowOpen = false;
    bool RegMapWindowOpen = false;
    bool ShowFahrenheit = false;
    bool ShowHelpAtStartup = false;
    int16_t SelectedGraph = 0;  // graphs window's chosen chart, 0 to 3; outlives the window
};

// Where commands go: the worker's post, or a test's recorder.
struct CommandPort {
    std::function<void(board::Command)> post;
    std::function<uint64_t()> newTicket;
};

class BoardFeed : public QObject {
    Q_OBJECT
  public:
    explicit BoardFeed(CommandPort port, QObject* parent = nullptr);

    // The worker's event sink: any thread.
    void deliver(const board::Event& event);

    void post(board::Command command);
    uint64_t newTicket();

    // The latest of everything the board said.
    const board::Readings& readings() const { return readings_; }
    const DeviceState& deviceState() const { return state_; }
    const LoggingState& logging() const { return logging_; }
    int32_t logIntervalMs() const { return state_.LogIntervalMs; }
    bool spiMode() const { return spiMode_; }
    bool linkFailed() const { return linkFailed_; }
    // Between a lost board and its return.
    bool boardDown() const { return boardDown_; }
    // The board's own account of the link failure ("" when it gave none).
    const std::string& failureCause() const { return failureCause_; }

    const SharedFlags& flags() const { return flags_; }
    // The temperature unit of readings and limits: posted to the worker too.
    void setShowFahrenheit(bool on);
    void setSelectedGraph(int16_t index);
    void setShowHelpAtStartup(bool on);
    void setGraphingEnabled(bool on);
    void setLogIntervalMs(int32_t ms);
    void setWindowOpen(FlaggedWindow which, bool open);

  signals:
    void startupStep(const board::StartupStep& step);
    void connected();
    void startupStopped();
    void readingsTaken(const board::Readings& readings);
    void layoutChanged(const board::Layout& layout);
    void limitsRead(const board::Limits& limits);
    void registerValues(const board::RegisterValues& values);
    void registerWritten(const board::Written& written);
    void loggingChanged(const board::LoggingChanged& change);
    void message(const board::Message& message);
    void linkFailure(int code);
    // With reconnection on: the board was lost (no reading is current), the next
    // try comes in waitSeconds, the board is back.
    void boardLost(const board::BoardLost& lost);
    void reconnecting(const board::Reconnecting& next);
    void reconnected(const board::Reconnected& back);
    void spiSelected();
    void profileRead(const board::ProfileRead& read);
    void profileWritten(const board::ProfileWritten& written);
    // A GUI flag changed (its new value is in flags()).
    void flagsChanged();

  private:
    void dispatch(const board::Event& event);
    // Keeps the GUI's own fields of the device state.
    void takeState(const DeviceState& state);

    CommandPort port_;
    board::Readings readings_;
    DeviceState state_;
    LoggingState logging_;
    SharedFlags flags_;
    bool spiMode_ = false;
    bool linkFailed_ = false;
    bool boardDown_ = false;
    std::string failureCause_;
};

// A window's open flag: raised at the end of the window's load, lowered once at
// its close or destruction, so an old window destroyed late never lowers the
// flag of a newer one.
class WindowOpenFlag {
  public:
    WindowOpenFlag(BoardFeed& feed, FlaggedWindow which) : feed_(&feed), which_(which) {}
    WindowOpenFlag(const WindowOpenFlag&) = delete;
    WindowOpenFlag& operator=(const WindowOpenFlag&) = delete;
    ~WindowOpenFlag() { lower(); }

    void raise() {
        if (feed_) feed_->setWindowOpen(which_, true);
    }
    void lower() {
        if (feed_) feed_->setWindowOpen(which_, false);
        feed_ = nullptr;
    }

  private:
    BoardFeed* feed_;
    FlaggedWindow which_;
};

}  // namespace quarnel
