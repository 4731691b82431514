#include "device/Device.h"

#include "link/BoardSwitches.h"

namespace quarnel {

Device::Device(BoardLink& link, Notifier& notifier, DeviceObserver& observer)
    : link_(link), notifier_(notifier), observer_(observer) {
    link_.registerWritten = [this](int32_t reg) { OnRegisterWritten(reg); };
}

Device::~Device() {
    link_.registerWritten = nullptr;
}

int16_t Device::InitDeviceState() {
    table.BuildRegisterTable();
    state.LogIntervalMs = 250;
    state.GraphingEnabled = true;
    state.VarnoOnAin3 = true;
    return InitBoardSwitches(link_, state.ChannelMode);
}

void Device::OnRegisterWritten(int32_t reg) {
    switch (reg) {
        case 0x18:
            onConfiguration1Written(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case 0x1A: {
            const int v = link_.ReadRegister(link_.DeviceAddress, reg);
            state.ReferenceVoltage = (v & 0x10) != 0 ? 3.3f : 2.28f;
            observer_.UpdateLimitsLayout();
            break;
        }
        case 0x1D:
            state.IntMask1 = static_cast<uint8_t>(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case 0x1E:
            state.IntMask2 = static_cast<uint8_t>(link_.ReadRegister(link_.DeviceAddress, reg));
            break;
        case 0x23:
        case 0x24:
        case 0x25:
        case 0x26:
        case 0x27:
        case 0x28:
            // Limits are read back (the chip sees the access) but shadow nothing.
            link_.ReadRegister(link_.DeviceAddress, reg);
            break;
        default:
            break;
    }
}

void Device::onConfiguration1Written(int v) {
    state.InterruptPinEnabled = (v & 0x20) == 0;
    const int sel = (v & 0x06) / 2;
    if (sel == 0) {
        state.ChannelMode = 2;
        SwitchToAinInputs(link_);
        observer_.UpdateGraphsLayout();
        observer_.UpdateLimitsLayout();
    } else if (sel == 2) {
        state.ChannelMode = 1;
        SwitchToExternalTemp(link_);
        observer_.UpdateGraphsLayout();
        observer_.UpdateLimitsLayout();
    } else {
        state.ChannelMode = 0;
        // A chip that does not take the correction (no chip reached, or it
        // ignores the write) would otherwise bring us back here forever.
        if (correctingSelection_) return;
        notifier_.message(kInvalidSelectionMessage, Notifier::Icon::None);
        correctingSelection_ = true;
        try {
            // Re-enters this handler, which now finds Ain1/Ain2 selected.
            link_.WriteRegister(link_.DeviceAddress, 0x18, v & 0xF9);
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
