// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The metrics of one complete poll in Prometheus' text format (version
// 0.0.4). The poller builds the whole text once per poll; scrapes only copy it.

#include <array>
#include <cstdint>
#include <string>

#include "device/DeviceState.h"
#include "device/Profile.h"
#include "link/BoardLink.h"
#include "monitor/ChipLimits.h"
#include "monitor/Session.h"

namespace quarnel::serve {

inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// What quarnel_info names: the board and the chip on it.
struct BoardInfo {
    std::string board;  // "simulated" or "usb"
    std::string usbId;  // "1209:0002"; empty for the simulated board
    std::string port;   // where the USB board is plugged, when known
    ChipIdentity chip;
};

using quarnel::ChipLimits;
using quarnel::LimitBytes;

struct PollSnapshot {
    int64_t polls = 0;                 // complete polls so far; 0: the board is not up yet
    double lastPollUnixSeconds = 0.0;  // when the last one ended
    BoardInfo info;
    DeviceState state;         // which channels are measured, the Ain reference
    CurrentReadings readings;  // in degrees Celsius
    ChipLimits limits;
};

std::string ExpositionText(const PollSnapshot& snapshot);

}  // namespace quarnel::serve
