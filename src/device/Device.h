// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device model: configuration shadow, register table and the handler
// that runs after every successful register write.

#include <cstdint>

#include "device/DeviceState.h"
#include "device/RegisterTable.h"
#include "link/BoardLink.h"

namespace quarnel {

inline constexpr const char* kInvalidSelectionMessage =
    "Invalid value for External Temp /Ain-2 selection\r\n"
    "The device will be reset to enable Ain1-2 (default)";

class Device {
  public:
    // Plugs OnRegisterWritten into link.registerWritten.
    Device(BoardLink& link, Notifier& notifier, DeviceObserver& observer);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    DeviceState state;
    RegisterTable table;

    // Returns the status of InitBoardSwitches (callers ignore it).
    int16_t InitDeviceState();
    void OnRegisterWritten(int32_t reg);

    BoardLink& link() { return link_; }
    Notifier& notifier() { return notifier_; }

  private:
    void onConfiguration1Written(int value);

    BoardLink& link_;
    Notifier& notifier_;
    DeviceObserver& observer_;
    bool correctingSelection_ = false;  // inside the corrective write of Configuration 1
};

}  // namespace quarnel
