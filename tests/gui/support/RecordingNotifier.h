#pragma once
// Message boxes in window tests: recorded, answered OK, never shown.

#include <string>
#include <vector>

#include "device/DeviceState.h"

namespace quarnel::test {

class RecordingNotifier : public Notifier {
  public:
    struct Message {
        std::string text;
        Icon icon;
        std::string details;  // what the box keeps under Show Details
    };
    void message(const std::string& text, Icon icon) override {
        messages.push_back({text, icon, {}});
    }
    void detailedMessage(const std::string& text, Icon icon, const std::string& details) override {
        messages.push_back({text, icon, details});
    }
    std::vector<Message> messages;
};

}  // namespace quarnel::test
