// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Device.h"

#include "device/ChipRegisters.h"
#include "link/BoardSwitches.h"

namespace quarnel {

Device::Device(BoardLink& link, Notifier& notifier, DeviceObserver& observer)
    : link_(link), notifier_(notifier), observer_(observer) {
    link_.registerWritten = [this](int32_t reg, int32_t) { OnRegisterWritten(reg); };
}

Device::~Device() {
    link_.registerWritten = nullptr;
}

int16_t Device::InitDeviceState() {
    table.BuildRegisterTable();
    state.LogIntervalMs = 250;
    state.GraphingEnabled = true;
    state.VarnoOnAin3 = true;
    return InitBoardSwitches(link_, state.ChannelMode == ChannelFunction::AinInputs);
}

void Device::OnRegisterWritten(int32_t reg) {
    switch (reg) {
        case chip::kConfig1:
            onConfiguration1Written(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case chip::kConfig3: {
            const int v = link_.ReadRegister(link_.DeviceAddress, reg);
            state.ReferenceVoltage = (v & chip::kConfig3VddReference) != 0 ? 3.3f : 2.28f;
            observer_.UpdateLimitsLayout();
            break;
        }
        case chip::kMask1:
            state.IntMask1 = static_cast<uint8_t>(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case chip::kMask2:
            state.IntMask2 = static_cast<uint8_t>(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case chip::kVddHighLimit:
        case chip::kVddLowLimit:
        case chip::kInternalHighLimit:
        case chip::kInternalLowLimit:
        case chip::kExternalHighLimit:
        case chip::kExternalLowLimit:
            // Limits are read back (the chip sees the access) but shadow nothing.
            link_.ReadRegister(link_.DeviceAddress, reg);
            break;
        default:
            break;
    }
}

void Device::onConfiguration1Written(int v) {
    state.InterruptPinEnabled = (v & chip::kConfig1IntDisable) == 0;
    state.ChannelMode = ChannelFunctionOf(v);
    if (state.ChannelMode == ChannelFunction::AinInputs) {
        SwitchToAinInputs(link_);
        observer_.UpdateGraphsLayout();
        observer_.UpdateLimitsLayout();
    } else if (state.ChannelMode == ChannelFunction::ExternalTemp) {
        SwitchToExternalTemp(link_);
        observer_.UpdateGraphsLayout();
        observer_.UpdateLimitsLayout();
    } else {
        // A chip that does not take the correction (no chip reached, or it
        // ignores the write) would otherwise bring us back here forever.
        if (correctingSelection_) return;
        notifier_.message(kInvalidSelectionMessage, Notifier::Icon::None);
        correctingSelection_ = true;
        try {
            // Re-enters this handler, which now finds Ain1/Ain2 selected.
            link_.WriteRegister(link_.DeviceAddress, chip::kConfig1, v & ~chip::kConfig1PinSelect);
        } catch (...) {
            correctingSelection_ = false;
            throw;
        }
        correctingSelection_ = false;
        observer_.UpdateGraphsLayout();
        observer_.UpdateLimitsLayout();
    }
}

}  // namespace quarnel
