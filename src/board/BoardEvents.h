// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the board worker says: one typed event stream, in the order things
// happened on the board. Every face (windows, quarnelctl, the exporter, the
// Python module) shows the latest of these and keeps no register of its own.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "device/DeviceState.h"
#include "device/Profile.h"
#include "monitor/ChipLimits.h"
#include "monitor/Session.h"

namespace quarnel::board {

// A step of the connection sequence, as the splash shows it.
struct StartupStep {
    enum class Kind { ShowProgress, Bar, Text, Status };
    Kind kind = Kind::Text;
    double barTwips = 0.0;  // Kind::Bar
    std::string text;       // Kind::Text, Kind::Status
};

// The connection sequence is through: the polling cycle runs from now on.
struct Connected {
    DeviceState state;
    int32_t deviceAddress = 0;
    double monotonic = 0.0;  // the clock then: a window opened before the first tick counts from it
};

// A stop request ended the start-up before it was through; nothing more was sent.
struct StartupStopped {};

// One tick's reading taken. status is the first status panel's text when the
// tick set one (nullptr: unchanged).
struct Readings {
    CurrentReadings readings;
    int16_t pollState = 0;    // the reading this tick took
    bool fahrenheit = false;  // the unit of the temperatures
    double monotonic = 0.0;   // clock times of the tick
    double timeOfDay = 0.0;
    const char* status = nullptr;
    bool logging = false;  // LoggingActive after the tick's logging step
    int64_t loggedCount = 0;
    double busySeconds = 0.0;  // the tick's time on the board (monotonic)
};

// The register-written handler changed the configuration: which layouts follow it.
struct Layout {
    DeviceState state;
    bool graphs = false;
    bool limits = false;
};

// The chip's limits, read while someone has subscribed to them.
struct Limits {
    ChipLimits limits;
};

// Register values read for a requester (a Read command), or the watched
// register's periodic read (watched true, ticket of the Watch command).
struct RegisterValues {
    uint64_t ticket = 0;
    bool watched = false;
    std::vector<int> registers;
    std::vector<int> values;
};

// A register write went through, the register-written handler included: the
// byte the chip was given (the value as clamped, negative values as their
// two's-complement byte) and the configuration after it.
struct Written {
    int reg = 0;
    int byte = 0;
    DeviceState state;
};

// Logging started or stopped. A stop caused by a failed write carries its errno.
struct LoggingChanged {
    LoggingState logging;
    int32_t logIntervalMs = 0;
    std::string startError;  // a start that failed: why; logging stays off
    int startErrno = 0;
    uint64_t ticket = 0;  // the Start or Stop command's
};

// A message for the user (the register-written handler's, a logging failure).
struct Message {
    std::string text;
    Notifier::Icon icon = Notifier::Icon::None;
};

// The board link failed; the worker does nothing more.
struct LinkFailed {
    int code = 0;
    std::string cause{};  // the board's own account ("" when it gave none)
};

// With reconnection on: the board link failed and the worker waits for the
// board to come back (no reading is current from now on).
struct BoardLost {
    int code = 0;
    double timeOfDay = 0.0;  // when it was lost
    std::string cause{};     // the board's own account ("" when it gave none)
};
// The next try to reopen the board comes after waitSeconds.
struct Reconnecting {
    double waitSeconds = 0.0;
};
// The board is back: the connection sequence ran again, the cycle goes on (a
// log goes on in a run of its own).
struct Reconnected {
    DeviceState state;
    int32_t deviceAddress = 0;
    double timeOfDay = 0.0;
};

// The SPI interface was selected on the board.
struct SpiSelected {};

// A profile command's outcome.
struct ProfileRead {
    uint64_t ticket = 0;
    Profile profile;  // the chip's registers (a save), or as given (a load)
    ChipIdentity chip;
    std::vector<RegisterChange> changes;  // a comparison: what differs
};
struct ProfileWritten {
    uint64_t ticket = 0;
    std::vector<RegisterChange> notTaken;
};

using Event = std::variant<StartupStep, Connected, StartupStopped, Readings, Layout, Limits,
                           RegisterValues, Written, LoggingChanged, Message, LinkFailed, BoardLost,
                           Reconnecting, Reconnected, SpiSelected, ProfileRead, ProfileWritten>;

using EventSink = std::function<void(const Event&)>;

}  // namespace quarnel::board
