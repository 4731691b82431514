// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The metrics of one complete poll in Prometheus' text format (version
// 0.0.4). The poller builds the whole text once per poll; scrapes only copy it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "device/DeviceState.h"
#include "device/Profile.h"
#include "link/BoardLink.h"
#include "monitor/ChipLimits.h"
#include "monitor/Session.h"
#include "serve/ProcessStats.h"

namespace quarnel::serve {

inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

// What quarnel_info names: the board and the chip on it.
struct BoardInfo {
    std::string board;  // "simulated" or "usb"
    std::string usbId;  // "1209:0002"; empty for the simulated board
    std::string port;   // where the USB board is plugged, when known
    ChipIdentity chip;
    std::string serial{};  // the USB board's serial number, when it reports one
};

using quarnel::ChipLimits;
using quarnel::LimitBytes;

struct PollSnapshot {
    int64_t polls = 0;                 // complete polls so far; 0: the board is not up yet
    bool boardUp = true;               // false from a link failure until the next complete poll
    double lastPollUnixSeconds = 0.0;  // when the last one ended
    int64_t reconnects = 0;            // times the board came back after a failure
    int64_t linkErrors = 0;            // link failures
    double pollSecondsSum = 0.0;       // time the board took to answer the complete polls
    int64_t timedPolls = 0;
    // Polls that found each status bit latched: Status 1 bits 0 to 7, Status 2 bits 0 to 7.
    std::array<int64_t, 16> interrupts{};
    std::optional<ProcessStats> process;
    std::string version;
    BoardInfo info;
    DeviceState state;         // which channels are measured, the Ain reference
    CurrentReadings readings;  // in degrees Celsius
    ChipLimits limits;
};

std::string ExpositionText(const PollSnapshot& snapshot);

// Counts the status bits latched in a poll's readings into snapshot.interrupts.
void CountInterrupts(PollSnapshot& snapshot, const CurrentReadings& readings);

}  // namespace quarnel::serve
