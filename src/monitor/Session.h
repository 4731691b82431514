#pragma once
// The context object every program builds once: the board link, the device
// model and the monitoring state that the polling cycle, the windows and the
// command-line tool share. Tests build a fresh one each time.

#include <array>
#include <cstdint>
#include <string>

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
};

struct SharedFlags {
    bool GraphsWindowOpen = false;
    bool LimitsWindowOpen = false;
    bool RegMapWindowOpen = false;
    bool ShowFahrenheit = false;
    bool ShowHelpAtStartup = false;
    int16_t SelectedGraph = 0;  // graphs window's chosen chart, 0 to 3; outlives the window
};

// Hands the register-written handler's call-outs to whatever target is set;
// does nothing until the main window installs itself.
class ForwardingObserver final : public DeviceObserver {
  public:
    void setTarget(DeviceObserver* target) { target_ = target; }
    DeviceObserver* target() const { return target_; }
    void UpdateGraphsLayout() override {
        if (target_) target_->UpdateGraphsLayout();
    }
    void UpdateLimitsLayout() override {
        if (target_) target_->UpdateLimitsLayout();
    }

  private:
    DeviceObserver* target_ = nullptr;
};

class Session {
  public:
    Session(Orvalink& board, Clock& clock, Notifier& notifier, LinkFailureHandler onFailure);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Clock& clock;
    Notifier& notifier;
    BoardLink link;
    ForwardingObserver observer;  // declared before device, which keeps a reference
    Device device;

    std::string ChipName;  // "QUARNEL" once the connection sequence ran
    CurrentReadings readings;
    LoggingState logging;
    SharedFlags flags;

    // The main window installs itself here (nullptr: back to doing nothing).
    void setObserver(DeviceObserver* target) { observer.setTarget(target); }
};

}  // namespace quarnel
