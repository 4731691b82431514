// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The context object every program builds once: the board link, the device
// model and the monitoring state that the polling cycle, the windows and the
// command-line tool share. Tests build a fresh one each time.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
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

class Session {
  public:
    Session(Orvalink& board, Clock& clock, Notifier& notifier, LinkFailureHandler onFailure);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Clock& clock;
    Notifier& notifier;
    BoardLink link;

  private:
    // Hands the register-written handler's call-outs (UpdateGraphsLayout,
    // UpdateLimitsLayout) to layoutChanged; declared before device, which keeps a reference.
    class LayoutAnnouncer final : public DeviceObserver {
      public:
        explicit LayoutAnnouncer(Session& session) : session_(session) {}
        void UpdateGraphsLayout() override {
            if (session_.layoutChanged) session_.layoutChanged(true, false);
        }
        void UpdateLimitsLayout() override {
            if (session_.layoutChanged) session_.layoutChanged(false, true);
        }

      private:
        Session& session_;
    } announcer_{*this};

  public:
    Device device;

    std::string ChipName;  // "QUARNEL" once the connection sequence ran
    CurrentReadings readings;
    LoggingState logging;
    bool ShowFahrenheit = false;  // readings (and the log's header) in degrees F

    // The register-written handler changed the configuration: the graphs'
    // layout, the limits' or both follow. Called inside the write.
    std::function<void(bool graphs, bool limits)> layoutChanged;
};

}  // namespace quarnel
