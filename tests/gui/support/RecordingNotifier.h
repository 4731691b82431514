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
    };
    void message(const std::string& text, Icon icon) override { messages.push_back({text, icon}); }
    std::vector<Message> messages;
};

}  // namespace quarnel::test
