// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Session.h"

#include <algorithm>
#include <utility>

namespace quarnel {

Session::Session(Orvalink& board, Clock& clock_, Notifier& notifier_, LinkFailureHandler onFailure)
    : clock(clock_),
      notifier(notifier_),
      link(board, clock_, std::move(onFailure)),
      device(link, notifier_, announcer_) {}

void Session::setShowFahrenheit(bool on) {
    flags_.ShowFahrenheit = on;
    announce(Change::ShowFahrenheit);
}

void Session::setSelectedGraph(int16_t index) {
    flags_.SelectedGraph = index;
    announce(Change::SelectedGraph);
}

void Session::setShowHelpAtStartup(bool on) {
    flags_.ShowHelpAtStartup = on;
    announce(Change::ShowHelpAtStartup);
}

void Session::setGraphingEnabled(bool on) {
    device.state.GraphingEnabled = on;
    announce(Change::GraphingEnabled);
}

void Session::setLogIntervalMs(int32_t ms) {
    device.state.LogIntervalMs = ms;
    announce(Change::LogInterval);
}

void Session::setWindowOpen(FlaggedWindow which, bool open) {
    bool& flag = which == FlaggedWindow::Graphs   ? flags_.GraphsWindowOpen
                 : which == FlaggedWindow::Limits ? flags_.LimitsWindowOpen
                                                  : flags_.RegMapWindowOpen;
    flag = open;
    announce(Change::WindowOpen);
}

int Session::listen(Listener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void Session::stopListening(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void Session::announce(Change change) {
    // A listener may stop listening while it hears.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) listener(change);
}

}  // namespace quarnel
