// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the monitor tests: a session on a recording board with a
// manual clock.

#include <memory>
#include <vector>

#include "device/DeviceState.h"
#include "link/Clock.h"
#include "monitor/Session.h"
#include "support/RecordingBoard.h"
#include "support/RecordingNotifier.h"
#include "support/TempDir.h"

namespace quarnel::test {

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
