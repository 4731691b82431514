// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the monitor tests: recording call-outs, and a session on a
// recording board with a manual clock.

#include <memory>
#include <string>
#include <vector>

#include "device/DeviceState.h"
#include "link/Clock.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"
#include "support/RecordingBoard.h"
#include "support/RecordingNotifier.h"
#include "support/TempDir.h"

namespace quarnel::test {

class RecordingCallouts : public PollCallouts {
  public:
    int graphUpdates = 0;
    int regMapReads = 0;
    int limitsUpdates = 0;
    int loggingStopped = 0;
    bool continuousRead = false;
    std::vector<std::string> statusTexts;

    void UpdateGraphingForm() override { ++graphUpdates; }
    bool ContinuousReadChecked() const override { return continuousRead; }
    void RegMapRead() override { ++regMapReads; }
    void UpdateLimitsForm() override { ++limitsUpdates; }
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void LoggingStopped() override { ++loggingStopped; }
};

// A session on a recording board, chip at 0x48, internal reference.
struct BoardSession {
    explicit BoardSession(double timeOfDay = 1000.0);
    RecordingBoard board;
    ManualClock clock;
    RecordingNotifier notifier;
    std::vector<int> failures;
    std::unique_ptr<Session> session;
};

}  // namespace quarnel::test
