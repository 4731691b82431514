// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a program sets up the simulated board, and the parsers of its command-line
// options (board/BoardOptions.h defines the options of both programs on them).

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quarnel::sim {

// Faults the board can be told to show, for tests and demonstrations.
struct SimFaults {
    bool firmwareFails = false;        // every LoadFirmWare fails
    int failingBusSelections = 0;      // the first N serial-bus selections fail
    std::optional<int> cableAfter;     // every request after the first N fails (cable pulled)
    std::optional<double> stallAfter;  // seconds from opening: the first request then times out
    // Seconds from opening at which the board is unplugged, and for how long;
    // it comes back freshly powered, its firmware to be downloaded again.
    std::optional<std::pair<double, double>> replug;
};

using WarningSink = std::function<void(const std::string&)>;

struct SimOptions {
    int chipAddress = 0x48;  // serial-bus address of the chip, 0x48 to 0x4B
    std::string statePath;   // empty: defaultStatePath()
    SimFaults faults;
    double latencyMs = 0;         // every request takes this long on the clock, as on USB
    uint64_t seed = 1;            // environment seed; same seed and clock, same readings
    bool requireFirmware = true;  // requests fail until LoadFirmWare succeeded, like the board
    WarningSink warn;             // empty: "quarnel sim: warning: ..." on stderr
};

// Thrown by the parsers; what() is a message fit for the user.
class SimOptionError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// "48", "0x4A", "4Bh": hexadecimal with or without 0x or h; 48h to 4Bh only.
int parseSimAddress(std::string_view text);
// "firmware", "bus-select=N", "cable=N", "stall=S"; adds the fault to faults.
void parseSimFault(std::string_view text, SimFaults& faults);
// Milliseconds per request, 0 to 10000, fractions allowed.
double parseSimLatency(std::string_view text);
// A file name; must not be empty.
std::string parseSimPath(std::string_view option, std::string_view text);
// A decimal seed.
uint64_t parseSimSeed(std::string_view text);

// Applies one board option by its long name (--sim-address, --sim-state, --sim-fault,
// --sim-seed, --sim-latency). False when the name is not a board option; throws
// SimOptionError for a bad value.
bool applySimOption(std::string_view name, std::string_view value, SimOptions& options);

// $XDG_STATE_HOME/quarnel/board.json, or ~/.local/state/quarnel/board.json.
std::string defaultStatePath();

}  // namespace quarnel::sim
