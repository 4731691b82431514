// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/BoardFeed.h"

#include <QMetaObject>
#include <QThread>

#include "board/Overloaded.h"

namespace quarnel {

BoardFeed::BoardFeed(CommandPort port, QObject* parent) : QObject(parent), port_(std::move(port)) {
    // What the device state holds before the board has said anything.
    state_.LogIntervalMs = 250;
    state_.GraphingEnabled = true;
    state_.VarnoOnAin3 = true;
}

void BoardFeed::deliver(const board::Event& event) {
    if (QThread::currentThread() == thread()) {
        dispatch(event);
        return;
    }
    // The worker's thread: the windows hear it on theirs, in the same order.
    QMetaObject::invokeMethod(
        this, [this, event] { dispatch(event); }, Qt::QueuedConnection);
}

void BoardFeed::post(board::Command command) {
    // After a failure nothing more reaches the board; the program is ending.
    if (!linkFailed_ && port_.post) port_.post(std::move(command));
}

uint64_t BoardFeed::newTicket() {
    return port_.newTicket ? port_.newTicket() : 0;
}

void BoardFeed::takeState(const DeviceState& state) {
    const bool graphing = state_.GraphingEnabled;
    const int32_t interval = state_.LogIntervalMs;
    state_ = state;
    state_.GraphingEnabled = graphing;
    state_.LogIntervalMs = interval;
}

void BoardFeed::dispatch(const board::Event& event) {
    std::visit(board::Overloaded{
                   [&](const board::StartupStep& e) { emit startupStep(e); },
                   [&](const board::Connected& e) {
                       takeState(e.state);
                       readings_.monotonic = e.monotonic;  // the board's time until its first tick
                       emit connected();
                   },
                   [&](const board::StartupStopped&) { emit startupStopped(); },
                   [&](const board::Readings& e) {
                       readings_ = e;
                       logging_.LoggingActive = e.logging;
                       logging_.LoggedCount = e.loggedCount;
                       emit readingsTaken(e);
                   },
                   [&](const board::Layout& e) {
                       takeState(e.state);
                       emit layoutChanged(e);
                   },
                   [&](const board::Limits& e) { emit limitsRead(e); },
                   [&](const board::RegisterValues& e) { emit registerValues(e); },
                   [&](const board::Written& e) {
                       takeState(e.state);
                       emit registerWritten(e);
                   },
                   [&](const board::LoggingChanged& e) {
                       logging_ = e.logging;
                       emit loggingChanged(e);
                   },
                   [&](const board::Message& e) { emit message(e); },
                   [&](const board::LinkFailed& e) {
                       if (linkFailed_) return;  // one failure, one shutdown
                       linkFailed_ = true;
                       failureCause_ = e.cause;
                       emit linkFailure(e.code);
                   },
                   [&](const board::BoardLost& e) {
                       boardDown_ = true;
                       // No reading is current any more: none is shown as if it were.
                       readings_.readings = CurrentReadings{};
                       emit boardLost(e);
                   },
                   [&](const board::Reconnecting& e) { emit reconnecting(e); },
                   [&](const board::Reconnected& e) {
                       boardDown_ = false;
                       takeState(e.state);
                       emit reconnected(e);
                   },
                   [&](const board::SpiSelected&) {
                       spiMode_ = true;
                       emit spiSelected();
                   },
                   [&](const board::ProfileRead& e) { emit profileRead(e); },
                   [&](const board::ProfileWritten& e) { emit profileWritten(e); },
               },
               event);
}

void BoardFeed::setShowFahrenheit(bool on) {
    flags_.ShowFahrenheit = on;
    post(board::SetFahrenheit{on});
    emit flagsChanged();
}

void BoardFeed::setSelectedGraph(int16_t index) {
    flags_.SelectedGraph = index;
    emit flagsChanged();
}

void BoardFeed::setShowHelpAtStartup(bool on) {
    flags_.ShowHelpAtStartup = on;
    emit flagsChanged();
}

void BoardFeed::setGraphingEnabled(bool on) {
    state_.GraphingEnabled = on;
    emit flagsChanged();
}

void BoardFeed::setLogIntervalMs(int32_t ms) {
    state_.LogIntervalMs = ms;
    post(board::SetLogInterval{ms});
}

void BoardFeed::setWindowOpen(FlaggedWindow which, bool open) {
    bool& flag = which == FlaggedWindow::Graphs   ? flags_.GraphsWindowOpen
                 : which == FlaggedWindow::Limits ? flags_.LimitsWindowOpen
                                                  : flags_.RegMapWindowOpen;
    flag = open;
    emit flagsChanged();
}

}  // namespace quarnel
