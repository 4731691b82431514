// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's shadow of the chip's configuration, and the seams through
// which the register-written handler reaches the windows and the user.

#include <cstdint>
#include <string>

#include "device/ChipRegisters.h"

namespace quarnel {

// What the pins shared by the external diode and Ain1/Ain2 measure. The
// values are the documented ChannelMode numbers.
enum class ChannelFunction : int16_t { Undetermined = 0, ExternalTemp = 1, AinInputs = 2 };

// The function Configuration 1's pin selection (bits 2:1) gives; the two
// invalid selections give none.
constexpr ChannelFunction ChannelFunctionOf(int config1) {
    switch (config1 & chip::kConfig1PinSelect) {
        case chip::kConfig1PinsAin:
            return ChannelFunction::AinInputs;
        case chip::kConfig1PinsExternal:
            return ChannelFunction::ExternalTemp;
        default:
            return ChannelFunction::Undetermined;
    }
}

struct DeviceState {
    ChannelFunction ChannelMode = ChannelFunction::Undetermined;
    float ReferenceVoltage = 0.0f;  // Ain reference: 3.3 (Vdd) or 2.28 (internal)
    bool InterruptPinEnabled = false;
    uint8_t IntMask1 = 0;       // last value of register 0x1D
    uint8_t IntMask2 = 0;       // last value of register 0x1E
    int32_t LogIntervalMs = 0;  // 250 once InitDeviceState ran
    bool GraphingEnabled = false;
    bool VarnoOnAin3 = false;

    bool operator==(const DeviceState&) const = default;
};

// Layout call-outs of the register-written handler; each must do nothing
// while its window is closed.
class DeviceObserver {
  public:
    virtual ~DeviceObserver() = default;
    virtual void UpdateGraphsLayout() = 0;
    virtual void UpdateLimitsLayout() = 0;
};

// Message boxes. The GUI shows a QMessageBox titled with the application
// title, the CLI writes to stderr, tests record.
class Notifier {
  public:
    enum class Icon { None, Information, Warning, Error };
    virtual ~Notifier() = default;
    virtual void message(const std::string& text, Icon icon) = 0;
    // The same with the reason behind it, which the GUI's box keeps under
    // Show Details; a notifier without such a place drops it.
    virtual void detailedMessage(const std::string& text, Icon icon, const std::string& details) {
        (void)details;
        message(text, icon);
    }
};

}  // namespace quarnel
