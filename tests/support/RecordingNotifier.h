// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes in tests: recorded, answered OK, never shown.

#include <string>
#include <vector>

#include "device/DeviceState.h"

namespace quarnel::test {

class RecordingNotifier : public Notifier {
  public:
    struct Message {
        std::string text;
        Icon icon;
        std::string details;  // under Show Details
    };
    void message(const std::string& t, Icon i) override { messages.push_back({t, i, {}}); }
    void detailedMessage(const std::string& t, Icon i, const std::string& d) override {
        messages.push_back({t, i, d});
    }
    std::vector<Message> messages;
};

}  // namespace quarnel::test
