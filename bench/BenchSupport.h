// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What several benchmarks share: one offscreen application, a silent
// notifier, the peak resident size of one step, and a big log file.

#include <QApplication>
#include <cstdint>
#include <string>

#include "monitor/Session.h"
#include "windows/WindowHost.h"

namespace quarnel::bench {

// A main window that is not there: the windows' requests go nowhere.
class NoHost final : public WindowHost {
  public:
    void setMainTitle(const QString&) override {}
    void SetStatusText(const std::string&) override {}
    void openWindow(ToolWindow) override {}
};

class QuietNotifier final : public Notifier {
  public:
    void message(const std::string&, Icon) override {}
};

// One offscreen application for the whole program. It is never destroyed:
// tearing it down among the static destructors at exit crashes.
QApplication& application();

// Resets the process's peak resident size so that the next peakGrowthMb()
// sees one step's peak; returns the resident size now, in kB.
long startPeak();
// Growth of the peak resident size since startPeak(), in MB.
double peakGrowthMb(long startKb);
// The peak resident size since startPeak(), in MB.
double peakMb();

inline constexpr int64_t kBigLogLines = 1000000;
inline constexpr int64_t kHugeLogLines = 8000000;  // 22 hours at 10 ms
// A log of that many lines of all twelve channels at 10 ms, written once per
// program and size with the logger's own line builder and removed at exit.
const std::string& bigLogPath(int64_t lines = kBigLogLines);

}  // namespace quarnel::bench
