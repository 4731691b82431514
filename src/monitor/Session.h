// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The context object every program builds once: the board link, the device
// model and the monitoring state that the polling cycle, the windows and the
// command-line tool share. Tests build a fresh one each time.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/Device.h"
#include "device/DeviceState.h"
#include "link/BoardLink.h"
#include "link/Clock.h"
#include "link/LinkFailure.h"
#include "link/Orvalink.h"

namespace quarnel {

inline constexpr int kLogChannelCount = 12;

// Latest converted readings; written only by the polling cycle.
struct CurrentReadings {
    float InternalTemp = 0.0f;  // degrees C, or F while ShowFahrenheit
    float ExternalTemp = 0.0f;  // degrees C or F
    float VarnoTemp = 0.0f;     // degrees C or F, from Ain3
    float Vdd = 0.0f;           // volts, 3 decimals
    float Ain1 = 0.0f;          // volts, 3 decimals (all Ain values)
    float Ain2 = 0.0f;
    float Ain3 = 0.0f;
    float Ain4 = 0.0f;
    float Ain5 = 0.0f;
    float Ain6 = 0.0f;
    float Ain7 = 0.0f;
    float Ain8 = 0.0f;
    int16_t IntStatus1 = 0;  // raw register 0x00
    int16_t IntStatus2 = 0;  // raw register 0x01
    uint16_t Taken = 0;      // bit n: the reading of poll state n has been taken (MasterPoll)
};

// Data-logging state. LogIntervalMs lives in the device state.
struct LoggingState {
    bool LoggingActive = false;
    std::array<bool, kLogChannelCount> LogChannelSelected{};  // indexed like the chkLog boxes
    std::string LogFilePath;
    int64_t LoggedCount = 0;   // data lines written since logging last started
    double LastLogTime = 0.0;  // seconds since midnight of the last data line
    int StopError = 0;         // errno of the write that stopped logging, 0 if none
};

// The shared flags. Windows read them here; they change only through the
// session's named operations, which announce the change.
struct SharedFlags {
    bool GraphsWindowOpen = false;
    bool LimitsWindowOpen = false;
    bool RegMapWindowOpen = false;
    bool ShowFahrenheit = false;
    bool ShowHelpAtStartup = false;
    int16_t SelectedGraph = 0;  // graphs window's chosen chart, 0 to 3; outlives the window
};

// The windows the polling cycle refreshes, each with its open flag.
enum class FlaggedWindow { Graphs, Limits, RegMap };

// What a listener hears about. The layout changes are the register-written
// handler's call-outs (UpdateGraphsLayout, UpdateLimitsLayout) and limits
// written behind the limits window's back.
enum class Change {
    GraphsLayout,
    LimitsLayout,
    ShowFahrenheit,
    SelectedGraph,
    ShowHelpAtStartup,
    WindowOpen,
    GraphingEnabled,
    LogInterval,
};

class WindowOpenFlag;

class Session {
  public:
    Session(Orvalink& board, Clock& clock, Notifier& notifier, LinkFailureHandler onFailure);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Clock& clock;
    Notifier& notifier;
    BoardLink link;

  private:
    // Turns the register-written handler's call-outs into announcements;
    // declared before device, which keeps a reference.
    class LayoutAnnouncer final : public DeviceObserver {
      public:
        explicit LayoutAnnouncer(Session& session) : session_(session) {}
        void UpdateGraphsLayout() override { session_.announce(Change::GraphsLayout); }
        void UpdateLimitsLayout() override { session_.announce(Change::LimitsLayout); }

      private:
        Session& session_;
    } announcer_{*this};

  public:
    Device device;

    std::string ChipName;  // "QUARNEL" once the connection sequence ran
    CurrentReadings readings;
    LoggingState logging;

    const SharedFlags& flags() const { return flags_; }

    // The named operations; each announces its change, even when the value
    // stays the same, so a window that re-checks its box still re-lays the others.
    void setShowFahrenheit(bool on);
    void setSelectedGraph(int16_t index);
    void setShowHelpAtStartup(bool on);
    void setGraphingEnabled(bool on);
    void setLogIntervalMs(int32_t ms);
    // The chip's limits were written behind the limits window (a loaded profile).
    void limitsWritten() { announce(Change::LimitsLayout); }
    // The one way a window-open flag moves: held by the window it belongs to.
    WindowOpenFlag openFlag(FlaggedWindow which);

    using Listener = std::function<void(Change)>;
    // Listeners hear every change in the order they came; the id removes one.
    int listen(Listener listener);
    void stopListening(int id);

  private:
    friend class WindowOpenFlag;
    void setWindowOpen(FlaggedWindow which, bool open);
    void announce(Change change);

    SharedFlags flags_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 0;
};

// A window's open flag: raised at the end of the window's load, lowered once
// at its close or destruction, so an old window destroyed late never lowers
// the flag of a newer one.
class WindowOpenFlag {
  public:
    WindowOpenFlag(Session& session, FlaggedWindow which) : session_(&session), which_(which) {}
    WindowOpenFlag(WindowOpenFlag&& other) noexcept
        : session_(std::exchange(other.session_, nullptr)), which_(other.which_) {}
    WindowOpenFlag& operator=(WindowOpenFlag&&) = delete;
    ~WindowOpenFlag() { lower(); }

    void raise() {
        if (session_) session_->setWindowOpen(which_, true);
    }
    void lower() {
        if (session_) session_->setWindowOpen(which_, false);
        session_ = nullptr;
    }

  private:
    Session* session_;
    FlaggedWindow which_;
};

inline WindowOpenFlag Session::openFlag(FlaggedWindow which) {
    return WindowOpenFlag(*this, which);
}

}  // namespace quarnel
