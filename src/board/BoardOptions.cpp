// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/BoardOptions.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <utility>

#include "QuarnelVersion.h"
#include "link/HexText.h"
#include "sim/BoardState.h"

namespace quarnel::board {
namespace {

// "E600", "0xE600" or "E600h".
uint16_t parseAddress16(std::string_view text) {
    const std::string_view digits = HexDigits(text);
    unsigned value = 0;
    const char* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value, 16);
    if (digits.empty() || digits.size() > 4 || result.ec != std::errc() || result.ptr != end)
        throw BoardOptionError("\"" + std::string(text) +
                               "\" is not a hexadecimal address from 0 to FFFF, e.g. E600");
    return static_cast<uint16_t>(value);
}

// Seconds to wait for the board to come back: 0.1 to 600.
double parseWaitSeconds(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || !(value >= 0.1) ||
        value > 600)
        throw BoardOptionError("\"" + std::string(text) +
                               "\" is not a number of seconds from 0.1 to 600, e.g. 20");
    return value;
}

// The parsed value; a refusal names where the value came from.
template <class Error, class Parse>
auto parsed(const std::string& where, const std::string& value, Parse parse) {
    try {
        return parse(value);
    } catch (const std::invalid_argument& e) {
        throw Error(where + ": " + e.what());
    }
}

}  // namespace

void addBoardOptions(CLI::App& app, BoardArguments& typed) {
    app.add_option("--usb", typed.usb,
                   "use the USB board with these ids (hex): before its firmware runs, and after "
                   "(default: the same)")
        ->type_name("VID:PID[/VID2:PID2]");
    app.add_option("--usb-cpucs", typed.usbCpucs,
                   "address of the USB board's CPU control register, in hex (default E600)")
        ->type_name("HEX");
    app.add_option("--usb-port", typed.usbPort,
                   "the USB board on this port, as quarnelctl usb list shows it (needed when "
                   "several boards are plugged in)")
        ->type_name("PATH");
    app.add_option("--usb-serial", typed.usbSerial,
                   "the USB board whose firmware reports this serial number, as quarnelctl usb "
                   "list shows it")
        ->type_name("SERIAL");
    app.add_flag("--usb-reload", typed.usbReload,
                 "download the firmware image even when the USB board's firmware already runs "
                 "(a new image)");
    app.add_option("--usb-wait", typed.usbWait,
                   "seconds to wait for the USB board to come back after the firmware download "
                   "(default 10)")
        ->type_name("SECONDS");
    app.add_option("--usb-ram", typed.usbRam,
                   std::string("the USB board's RAM the firmware image may be written to, hex "
                               "ranges (default ") +
                       usb::kDefaultRamRanges + ")")
        ->type_name("RANGES");
    app.add_option("--firmware", typed.firmware,
                   "firmware image for the board (default: QUARNELFW.Hex from the program's data "
                   "folder)")
        ->type_name("FILE");
    app.add_option("--sim-address", typed.simAddress,
                   "chip address on the simulated board, 48 to 4B (default 48)")
        ->type_name("ADDR");
    app.add_option("--sim-state", typed.simState,
                   "state file of the simulated board (default $XDG_STATE_HOME/quarnel/board.json)")
        ->type_name("FILE");
    app.add_option("--trace", typed.trace, "append one line per board request to FILE")
        ->type_name("FILE");
    app.add_option("--sim-fault", typed.simFaults,
                   "simulated fault: firmware, bus-select=N, cable=N or stall=S (the first "
                   "request S seconds after opening times out); may be repeated")
        ->type_name("KIND[=N]")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--sim-seed", typed.simSeed, "seed of the simulated environment (default 1)")
        ->type_name("N");
    app.add_option("--sim-latency", typed.simLatency,
                   "milliseconds each request to the simulated board takes, 0 to 10000 (default 0)")
        ->type_name("MS");
    app.add_flag("--quick", typed.quick, "skip the start-up's settling delays");
}

BoardOptions parseBoardOptions(const BoardArguments& typed, const BoardSettings& settings) {
    BoardOptions options;
    // Every key that is set is checked, used or not.
    const std::string key = "the settings file " + settings.file + ", [Board] ";
    std::optional<usb::UsbIds> usbKey;
    if (!settings.usb.empty())
        usbKey = parsed<BoardSettingError>(key + "Usb", settings.usb, usb::parseUsbIds);
    if (!settings.usbCpucs.empty())
        options.usbCpucs =
            parsed<BoardSettingError>(key + "UsbCpucs", settings.usbCpucs, parseAddress16);
    if (!settings.usbPort.empty())
        options.usbPort =
            parsed<BoardSettingError>(key + "UsbPort", settings.usbPort, usb::parseUsbPort);
    options.usbSerial = settings.usbSerial;
    if (!settings.usbWait.empty())
        options.usbWaitSeconds =
            parsed<BoardSettingError>(key + "UsbWait", settings.usbWait, parseWaitSeconds);
    if (!settings.usbRam.empty())
        options.usbRam =
            parsed<BoardSettingError>(key + "UsbRam", settings.usbRam, usb::parseRamRanges);
    options.firmware = settings.firmware;

    const std::pair<const char*, bool> simOnly[] = {{"--sim-address", bool(typed.simAddress)},
                                                    {"--sim-state", bool(typed.simState)},
                                                    {"--sim-fault", !typed.simFaults.empty()},
                                                    {"--sim-seed", bool(typed.simSeed)},
                                                    {"--sim-latency", bool(typed.simLatency)}};
    bool simChosen = false;
    for (const auto& [name, given] : simOnly) simChosen |= given;
    if (typed.usb)
        options.usb = parsed<BoardOptionError>("--usb", *typed.usb, usb::parseUsbIds);
    else if (!simChosen)
        options.usb = usbKey;
    if (options.usb) {
        for (const auto& [name, given] : simOnly)
            if (given)
                throw BoardOptionError(std::string(name) +
                                       " is an option of the simulated board: leave it out with "
                                       "--usb");
    } else {
        for (const auto& [name, given] : {std::pair{"--usb-cpucs", bool(typed.usbCpucs)},
                                          {"--usb-port", bool(typed.usbPort)},
                                          {"--usb-wait", bool(typed.usbWait)},
                                          {"--usb-ram", bool(typed.usbRam)},
                                          {"--usb-serial", bool(typed.usbSerial)},
                                          {"--usb-reload", typed.usbReload}})
            if (given)
                throw BoardOptionError(std::string(name) +
                                       " is an option of the USB board: give --usb too");
    }
    if (typed.usbCpucs)
        options.usbCpucs = parsed<BoardOptionError>("--usb-cpucs", *typed.usbCpucs, parseAddress16);
    if (typed.usbPort)
        options.usbPort = parsed<BoardOptionError>("--usb-port", *typed.usbPort, usb::parseUsbPort);
    if (typed.usbWait)
        options.usbWaitSeconds =
            parsed<BoardOptionError>("--usb-wait", *typed.usbWait, parseWaitSeconds);
    if (typed.usbSerial) {
        if (typed.usbSerial->empty())
            throw BoardOptionError("--usb-serial: give the serial number usb list shows");
        options.usbSerial = *typed.usbSerial;
    }
    options.usbReload = typed.usbReload;
    if (typed.usbRam)
        options.usbRam = parsed<BoardOptionError>("--usb-ram", *typed.usbRam, usb::parseRamRanges);
    if (typed.firmware) options.firmware = sim::parseSimPath("--firmware", *typed.firmware);
    // The shipped image is our own placeholder: a real board would never come back.
    if (options.usb && options.firmware.empty()) {
        const std::string text =
            "the USB board needs its maker's firmware image: pass it with --firmware (or "
            "Firmware= in [Board]); the shipped QUARNELFW.Hex serves the simulated board only";
        if (typed.usb) throw BoardOptionError(text);
        throw BoardSettingError(text);
    }
    if (typed.trace) options.tracePath = sim::parseSimPath("--trace", *typed.trace);
    options.quick = typed.quick;
    if (options.usb) return options;

    const auto apply = [&](const char* name, const std::optional<std::string>& value) {
        if (value) sim::applySimOption(name, *value, options.sim);
    };
    apply("--sim-address", typed.simAddress);
    apply("--sim-state", typed.simState);
    apply("--sim-seed", typed.simSeed);
    apply("--sim-latency", typed.simLatency);
    for (const auto& fault : typed.simFaults) apply("--sim-fault", fault);
    if (options.sim.statePath.empty()) options.sim.statePath = sim::defaultStatePath();
    // A folder or a device is never taken for a state file, nor written over.
    if (const auto why = sim::checkStatePath(options.sim.statePath))
        throw StateFileError("the state file " + options.sim.statePath + " " + *why +
                             "; choose another with --sim-state");
    return options;
}

std::string versionText(const std::string& program) {
    return program + " " + kAppVersion;
}

void addVersionFlag(CLI::App& app, const std::string& program) {
    app.set_version_flag("--version", versionText(program));
}

}  // namespace quarnel::board
