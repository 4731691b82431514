// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The connection sequence: firmware, bus selection, chip search, start of
// monitoring and the configuration state, with progress shown on a splash.

#include <stdexcept>
#include <string>

#include "monitor/Session.h"

namespace quarnel {

inline constexpr const char* kChipName = "QUARNEL";
inline constexpr const char* kFirmwareOkText = "Firmware download succesful";
inline constexpr int kBusSelectAttempts = 20;
inline constexpr float kFirstConversionsMs = 140;  // one round of every channel, with a margin

// What shows start-up progress: the splash window (bar lblProgress, text
// lblProgInfo) and the main window's status panel.
class StartupProgress {
  public:
    virtual ~StartupProgress() = default;
    // The bar's width as laid out, in twips (the full bar).
    virtual int initialBarWidthTwips() const = 0;
    // Makes the bar and the progress text visible.
    virtual void showProgress() = 0;
    // Width in twips, always a multiple (or sum of halves) of the unit U.
    virtual void setBarWidthTwips(double twips) = 0;
    // Sets the progress text and repaints it at once.
    virtual void setProgressText(const std::string& text) = 0;
    // First panel of the main window's status bar.
    virtual void setStatusText(const std::string& text) = 0;
};

// Progress nobody sees: the command-line tool, benchmarks and tests.
class SilentProgress final : public StartupProgress {
  public:
    explicit SilentProgress(int barWidthTwips = 5415) : barWidthTwips_(barWidthTwips) {}
    int initialBarWidthTwips() const override { return barWidthTwips_; }
    void showProgress() override {}
    void setBarWidthTwips(double) override {}
    void setProgressText(const std::string&) override {}
    void setStatusText(const std::string&) override {}

  private:
    int barWidthTwips_;
};

// Thrown when a stop request (Ctrl+C) cut a settling delay short: nothing after
// it has been sent to the board.
class StartupCancelled : public std::runtime_error {
  public:
    StartupCancelled() : std::runtime_error("start-up cancelled") {}
};

// The bar's unit: the initial width rounded to an integer, / 100, integer part.
int ProgressUnit(double initialWidthTwips);

// Steps 2 to 13 of the start-up: from the download to the configuration
// state read back. Failures go through link.ReportLinkFailure (code 0 or 2,
// 3 inside the link) and so never return; a stop request during a delay throws
// StartupCancelled. `quick` skips the settling delays but still waits until the
// chip has converted every channel once.
void RunConnectionSequence(Session& session, StartupProgress& progress,
                           const std::string& applicationDir, bool quick = false);

// "48h", "4Ah": upper-case hex without zero fill, then "h".
std::string HexAddressText(int value);

}  // namespace quarnel
