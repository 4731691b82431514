// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording seams for the device model: one event list across the notifier
// and the layout call-outs, each event stamped with the channel mode it saw.

#include <string>
#include <vector>

#include "device/Device.h"

namespace quarnel::test {

struct DeviceEvents final : DeviceObserver, Notifier {
    const Device* device = nullptr;  // to record the mode each call-out sees
    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<Icon> icons;

    std::string stamp(const char* what) const {
        return std::string(what) + "@" +
               std::to_string(device != nullptr ? static_cast<int>(device->state.ChannelMode) : -1);
    }
    void UpdateGraphsLayout() override { events.push_back(stamp("graphs")); }
    void UpdateLimitsLayout() override { events.push_back(stamp("limits")); }
    void message(const std::string& text, Icon icon) override {
        events.push_back(stamp("message"));
        messages.push_back(text);
        icons.push_back(icon);
    }
};

}  // namespace quarnel::test
