// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SimOptions.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

#include "link/HexText.h"

namespace quarnel::sim {
namespace {

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool isHex(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int parseCount(std::string_view kind, std::string_view text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < 0)
        throw SimOptionError("--sim-fault " + std::string(kind) + ": count " + quoted(text) +
                             " is not a whole number of 0 or more");
    return n;
}

// A decimal number from 0 to max, fractions allowed.
std::optional<double> parseAmount(std::string_view text, double max) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    // from_chars also reads "inf" and "nan"; the range test refuses both, and "-0".
    if (text.empty() || text.front() == '-' || ec != std::errc() || ptr != end ||
        !(value >= 0 && value <= max))
        return std::nullopt;
    return value;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

}  // namespace

int parseSimAddress(std::string_view text) {
    const std::string_view digits = HexDigits(text);
    if (!isHex(digits) || digits.size() > 2)
        throw SimOptionError("--sim-address: " + quoted(text) +
                             " is not a hexadecimal address (48 to 4B, e.g. 4A, 0x4A or 4Ah)");
    int address = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), address, 16);
    if (address < 0x48 || address > 0x4B)
        throw SimOptionError("--sim-address: " + quoted(text) +
                             " is outside the chip's addresses 48 to 4B");
    return address;
}

void parseSimFault(std::string_view text, SimFaults& faults) {
    const auto eq = text.find('=');
    const std::string_view kind = text.substr(0, eq);
    const bool hasCount = eq != std::string_view::npos;
    const std::string_view count = hasCount ? text.substr(eq + 1) : std::string_view{};
    if (kind == "firmware") {
        if (hasCount) throw SimOptionError("--sim-fault firmware takes no count");
        faults.firmwareFails = true;
    } else if (kind == "stall") {
        if (!hasCount)
            throw SimOptionError("--sim-fault stall needs a time in seconds, e.g. stall=30");
        const auto seconds = parseAmount(count, std::numeric_limits<double>::max());
        if (!seconds)
            throw SimOptionError("--sim-fault stall: time " + quoted(count) +
                                 " is not a number of seconds of 0 or more");
        faults.stallAfter = seconds;
    } else if (kind == "replug") {
        const auto colon = count.find(':');
        const auto after = parseAmount(count.substr(0, colon), std::numeric_limits<double>::max());
        const auto gone = colon == std::string_view::npos
                              ? std::nullopt
                              : parseAmount(count.substr(colon + 1), 86400.0);
        if (!hasCount || !after || !gone)
            throw SimOptionError(
                "--sim-fault replug needs S:D, seconds after the start and "
                "seconds unplugged, each 0 or more, e.g. replug=30:5");
        faults.replug = std::pair{*after, *gone};
    } else if (kind == "bus-select" || kind == "cable") {
        if (!hasCount)
            throw SimOptionError("--sim-fault " + std::string(kind) + " needs a count, e.g. " +
                                 std::string(kind) + "=3");
        const int n = parseCount(kind, count);
        if (kind == "cable")
            faults.cableAfter = n;
        else
            faults.failingBusSelections = n;
    } else {
        throw SimOptionError("--sim-fault: unknown fault " + quoted(kind) +
                             " (use firmware, bus-select=N, cable=N, stall=S or replug=S:D)");
    }
}

double parseSimLatency(std::string_view text) {
    // Ten seconds a request is far beyond any USB transfer; more is a typing slip.
    const auto ms = parseAmount(text, 10000);
    if (!ms)
        throw SimOptionError("--sim-latency: " + quoted(text) +
                             " is not a number of milliseconds from 0 to 10000, e.g. 2 or 0.5");
    return *ms;
}

std::string parseSimPath(std::string_view option, std::string_view text) {
    if (text.empty()) throw SimOptionError(std::string(option) + " needs a file name");
    return std::string(text);
}

uint64_t parseSimSeed(std::string_view text) {
    uint64_t seed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        throw SimOptionError("--sim-seed: " + quoted(text) + " is not a whole number");
    return seed;
}

bool applySimOption(std::string_view name, std::string_view value, SimOptions& options) {
    if (name == "--sim-address")
        options.chipAddress = parseSimAddress(value);
    else if (name == "--sim-state")
        options.statePath = parseSimPath(name, value);
    else if (name == "--sim-fault")
        parseSimFault(value, options.faults);
    else if (name == "--sim-seed")
        options.seed = parseSimSeed(value);
    else if (name == "--sim-latency")
        options.latencyMs = parseSimLatency(value);
    else
        return false;
    return true;
}

std::string defaultStatePath() {
    std::string base;
    // The XDG rules ignore a relative XDG_STATE_HOME.
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else
        base = homeDirectory() + "/.local/state";
    return base + "/quarnel/board.json";
}

}  // namespace quarnel::sim
