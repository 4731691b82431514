// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board options of both programs, defined once: which board, how it is set
// up, and whether the start-up skips its settling delays. Values are checked
// after parsing, so a program refuses a bad one before it touches any board.
//
//   board::BoardArguments typed;
//   board::addBoardOptions(app, typed);
//   app.parse(argc, argv);
//   const board::BoardOptions options = board::parseBoardOptions(typed);

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimOptions.h"
#include "usb/RamRanges.h"
#include "usb/UsbIds.h"

namespace CLI {
class App;
}

namespace quarnel::board {

// The options as typed. One not given stays nullopt; one given empty is refused.
struct BoardArguments {
    std::optional<std::string> simAddress, simState, trace, simSeed, simLatency;
    std::vector<std::string> simFaults;
    std::optional<std::string> usb, usbCpucs, firmware, usbPort, usbWait, usbRam, usbSerial;
    bool usbReload = false;
    bool quick = false;
};

// The same choices as the settings file's [Board] group keeps them (quarnel-eval
// started from a menu has no options). An empty value is a key not set.
struct BoardSettings {
    std::string usb{}, usbCpucs{}, firmware{};   // keys Usb, UsbCpucs, Firmware
    std::string file{};                          // named in messages
    std::string usbPort{}, usbWait{}, usbRam{};  // keys UsbPort, UsbWait, UsbRam
    std::string usbSerial{};                     // key UsbSerial
};

// The checked choices.
struct BoardOptions {
    std::optional<usb::UsbIds> usb;  // the USB board; nullopt: the simulated board
    uint16_t usbCpucs = 0xE600;      // the microcontroller's CPU control/status register
    std::string usbPort;             // "1-2.3": the board on that port; empty: the only one
    std::string usbSerial;           // the board reporting this serial number; empty: any
    bool usbReload = false;          // download even when the board's firmware runs
    double usbWaitSeconds = 10.0;    // for the board to come back after the download
    std::vector<usb::RamRange> usbRam = usb::parseRamRanges(usb::kDefaultRamRanges);
    sim::SimOptions sim;    // statePath set (the default one) for the simulated board
    std::string firmware;   // empty: QUARNELFW.Hex in the program's data folder (simulated board
                            // only: the USB board is refused without an image of its own)
    std::string tracePath;  // empty: no request trace
    bool quick = false;     // skip the start-up's settling delays
};

// Thrown for a value both programs refuse; what() is the message for the user.
using BoardOptionError = sim::SimOptionError;
// A bad value in the settings file rather than on the command line.
class BoardSettingError : public BoardOptionError {
  public:
    using BoardOptionError::BoardOptionError;
};
// A state file path that cannot hold a state (a folder, device, FIFO or socket). Like a
// bad setting it may come from no command line at all: the default path is refused too.
class StateFileError : public BoardOptionError {
  public:
    using BoardOptionError::BoardOptionError;
};

// Adds the board options to app.
void addBoardOptions(CLI::App& app, BoardArguments& typed);
// Checks every value, and that the state file's path can hold one. A choice not
// made by an option comes from settings; any --sim-... option chooses the
// simulated board over the settings' Usb key. Options of the other board than
// the chosen one are refused, and so is the USB board without a firmware image
// (the shipped one is a placeholder for the simulated board).
BoardOptions parseBoardOptions(const BoardArguments& typed, const BoardSettings& settings = {});

// "quarnelctl 2.0.0": what --version prints.
std::string versionText(const std::string& program);
void addVersionFlag(CLI::App& app, const std::string& program);

}  // namespace quarnel::board
