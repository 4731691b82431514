// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbCheck.h"

#include <libusb.h>

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "link/AsciiText.h"
#include "usb/UsbDevices.h"

namespace quarnel::usb {
namespace {

using Result = CheckStep::Result;

// One key of a udev rule: `ATTRS{idVendor}=="1209"` is {"attrs{idvendor}", "==", "1209"}.
struct RuleKey {
    std::string key, op, value;
};

// The keys of a rule line, or nothing when udev would refuse the line.
std::optional<std::vector<RuleKey>> parseRule(std::string_view line) {
    std::vector<RuleKey> keys;
    size_t i = 0;
    const auto skip = [&](std::string_view what) {
        while (i < line.size() && what.find(line[i]) != std::string_view::npos) ++i;
    };
    for (skip(" \t,"); i < line.size(); skip(" \t,")) {
        const size_t start = i;
        while (i < line.size() &&
               (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_'))
            ++i;
        if (i < line.size() && line[i] == '{') i = line.find('}', i) + 1;  // npos + 1 is 0
        if (i <= start) return std::nullopt;
        RuleKey key{AsciiLower(std::string(line.substr(start, i - start))), {}, {}};
        skip(" \t");
        const size_t op = i;
        skip("=!+-:");
        key.op = line.substr(op, i - op);
        if (key.op != "==" && key.op != "!=" && key.op != "=" && key.op != "+=" && key.op != "-=" &&
            key.op != ":=")
            return std::nullopt;
        skip(" \t");
        if (line.substr(i, 2) == "e\"") ++i;  // an escaped string; its escapes do not matter here
        if (i >= line.size() || line[i++] != '"') return std::nullopt;
        for (; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && line.substr(i + 1, 1) == "\"") ++i;
            key.value += line[i];
        }
        if (i++ >= line.size()) return std::nullopt;  // no closing quote
        keys.push_back(std::move(key));
    }
    return keys;
}

// udev's match: alternatives split by '|', each a glob; hex digits in either case.
bool ruleValueMatches(const std::string& pattern, const std::string& value) {
    std::string_view rest = pattern;
    for (;;) {
        const size_t bar = rest.find('|');
        if (fnmatch(AsciiLower(std::string(rest.substr(0, bar))).c_str(), value.c_str(), 0) == 0)
            return true;
        if (bar == std::string_view::npos) return false;
        rest.remove_prefix(bar + 1);
    }
}

enum class Grant { kNone, kUaccess, kModeOrGroup };

// How a rule lets the user open the board's device node, if it applies to the board.
Grant grantOf(const std::vector<RuleKey>& keys, UsbId id) {
    const std::string text = formatUsbId(id);
    const std::string vendor = text.substr(0, 4), product = text.substr(5);
    bool namesVendor = false, namesProduct = false, uaccess = false, modeOrGroup = false;
    for (const RuleKey& k : keys) {
        if (k.op == "==" || k.op == "!=") {
            std::string actual;  // what the board's device shows for the key
            if (k.key == "attr{idvendor}" || k.key == "attrs{idvendor}")
                actual = vendor, namesVendor |= k.op == "==";
            else if (k.key == "attr{idproduct}" || k.key == "attrs{idproduct}")
                actual = product, namesProduct |= k.op == "==";
            else if (k.key == "subsystem" || k.key == "subsystems")
                actual = "usb";
            else if (k.key == "env{devtype}")
                actual = "usb_device";
            else
                continue;  // keys that do not tell one USB device from another
            if (ruleValueMatches(k.value, actual) != (k.op == "==")) return Grant::kNone;
        } else if (k.key == "tag" && k.op != "-=" && k.value == "uaccess") {
            uaccess = true;
        } else if ((k.key == "mode" || k.key == "group") && k.op != "+=" && k.op != "-=") {
            modeOrGroup = true;
        }
    }
    if (!namesVendor || !namesProduct) return Grant::kNone;
    return modeOrGroup ? Grant::kModeOrGroup : uaccess ? Grant::kUaccess : Grant::kNone;
}

struct RuleLine {
    std::string text;
    int number = 0;
    bool comment = false;  // text is what follows the '#'
};

// A rule file's rules and comments as udev reads it: continued lines joined.
std::vector<RuleLine> ruleLines(const std::filesystem::path& file) {
    std::vector<RuleLine> lines;
    RuleLine rule;
    std::ifstream in(file);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line.erase(0, std::min(line.find_first_not_of(" \t"), line.size()));
        if (line.starts_with('#')) {
            line.erase(0, std::min(line.find_first_not_of("# \t"), line.size()));
            if (line.ends_with('\\')) line.pop_back();
            lines.push_back({line, number, true});
            continue;
        }
        if (rule.number == 0) rule.number = number;
        rule.text += line;
        if (rule.text.ends_with('\\')) {
            rule.text.pop_back();
            continue;
        }
        lines.push_back(std::exchange(rule, {}));
    }
    if (rule.number != 0) lines.push_back(rule);
    return lines;
}

// udev reads the rule files of all its directories in the order of their names; a file
// hides one of the same name in a later directory.
std::map<std::string, std::filesystem::path> ruleFiles(
    const std::vector<std::string>& directories) {
    std::map<std::string, std::filesystem::path> files;
    for (const std::string& directory : directories) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".rules" && !name.starts_with('.'))
                files.emplace(name, entry.path());
        }
    }
    return files;
}

// Where the seat's rules turn the uaccess tag into access; later tags are never read.
constexpr std::string_view kSeatLateRules = "73-seat-late.rules";

struct RuleFinding {
    enum class State { kNone, kCommented, kLate, kEffective };  // ascending: the best one counts
    State state = State::kNone;
    std::string file;
    std::string name;  // the file's name
    int line = 0;
};

RuleFinding findRule(UsbId id, const std::vector<std::string>& directories) {
    using State = RuleFinding::State;
    RuleFinding best;
    for (const auto& [name, file] : ruleFiles(directories)) {
        for (const RuleLine& line : ruleLines(file)) {
            const auto keys = parseRule(line.text);
            const Grant grant = keys ? grantOf(*keys, id) : Grant::kNone;
            if (grant == Grant::kNone) continue;
            const State state = line.comment ? State::kCommented
                                : grant == Grant::kUaccess && name >= kSeatLateRules
                                    ? State::kLate
                                    : State::kEffective;
            if (state > best.state) best = {state, file.string(), name, line.number};
            if (state == State::kEffective) return best;
        }
    }
    return best;
}

// The udev rule steps: ok when each id has a rule that takes effect, else one step per cause.
std::vector<CheckStep> ruleSteps(const UsbIds& ids, const std::vector<std::string>& directories,
                                 Result bad, const std::string& install) {
    using State = RuleFinding::State;
    std::string effective;
    bool missing = false;
    std::vector<std::pair<RuleFinding, std::string>> problems;  // and the ids they concern
    std::vector<UsbId> each = {ids.before};
    if (!(ids.after == ids.before)) each.push_back(ids.after);
    for (UsbId id : each) {
        const RuleFinding found = findRule(id, directories);
        if (found.state == State::kEffective && effective.find(found.file) == std::string::npos)
            effective += (effective.empty() ? "" : ", ") + found.file;
        missing |= found.state == State::kNone;
        if (found.state != State::kCommented && found.state != State::kLate) continue;
        auto same = std::find_if(problems.begin(), problems.end(), [&](const auto& p) {
            return p.first.state == found.state && p.first.file == found.file;
        });
        if (same == problems.end())
            problems.push_back({found, formatUsbId(id)});
        else
            same->second += " or " + formatUsbId(id);
    }
    std::vector<CheckStep> steps;
    for (const auto& [found, idText] : problems)
        steps.push_back(
            {bad, found.state == State::kCommented
                      ? "udev rule for " + idText + " in " + found.file + " (line " +
                            std::to_string(found.line) +
                            ") is commented out: remove the '#' and re-plug the board"
                      : "udev rule for " + idText + " in " + found.file +
                            " takes no effect: its TAG+=\"uaccess\" works only in a file that "
                            "sorts before " +
                            std::string(kSeatLateRules) +
                            "; rename it to a number below 73, e.g. 70-" +
                            found.name.substr(std::min(found.name.find_first_not_of("0123456789-"),
                                                       found.name.size())) +
                            ", and re-plug the board"});
    if (missing)
        steps.push_back({bad, "no udev rule for " + formatUsbIds(ids) +
                                  ": quarnelctl usb udev-rule " + formatUsbIds(ids, "/") +
                                  install});
    if (steps.empty())
        steps.push_back({Result::kOk, "udev rule for " + formatUsbIds(ids) + " in " + effective});
    return steps;
}

// libusb's answer to opening the node: 0 or a LIBUSB_ERROR.
int tryOpen(const UsbDeviceInfo& board) {
    libusb_context* context = nullptr;
    if (const int r = libusb_init(&context); r != 0) return r;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    int result = LIBUSB_ERROR_NO_DEVICE;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) != board.bus ||
            libusb_get_device_address(list[i]) != board.device)
            continue;
        libusb_device_handle* handle = nullptr;
        result = libusb_open(list[i], &handle);
        if (result == 0) libusb_close(handle);
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    libusb_exit(context);
    return result;
}

}  // namespace

bool CheckReport::sessionWouldStart() const {
    return std::none_of(steps.begin(), steps.end(),
                        [](const CheckStep& s) { return s.result == Result::kFail; });
}

std::string checkLine(const CheckStep& step) {
    const char* word = step.result == Result::kOk     ? "ok    "
                       : step.result == Result::kWarn ? "warn  "
                                                      : "fail  ";
    return word + step.text;
}

CheckReport checkUsbBoard(const UsbIds& ids, const std::string& port,
                          const std::vector<std::string>& ruleDirectories) {
    CheckReport report;
    auto& steps = report.steps;
    std::string error;
    std::vector<UsbDeviceInfo> boards;
    for (const UsbDeviceInfo& device : listUsbDevices(error))
        if (isCandidate(device, ids, port)) boards.push_back(device);
    const std::string both = formatUsbIds(ids);

    if (!error.empty()) {
        steps.push_back({Result::kFail, error});
    } else if (boards.empty()) {
        steps.push_back({Result::kFail, "no device " + both +
                                            (port.empty() ? "" : " on port " + port) +
                                            ": plug the board in; quarnelctl usb list shows "
                                            "what is there"});
    } else if (boards.size() > 1) {
        std::string which;
        for (const auto& b : boards) which += (which.empty() ? "" : ", ") + whereIs(b);
        steps.push_back({Result::kFail, std::to_string(boards.size()) + " boards: " + which +
                                            "; choose one with --usb-port"});
        report.severalBoards = true;
    }
    const bool one = error.empty() && boards.size() == 1;
    if (one) {
        const UsbDeviceInfo& board = boards.front();
        steps.push_back({Result::kOk, "device " + whereIs(board)});
        if (!configured(board.port))
            steps.push_back({Result::kFail,
                             "the device has no configuration: the system "
                             "refused it, most likely for lack of power; plug it "
                             "into a powered hub or another port"});
        const int opened = tryOpen(board);
        const std::string node = deviceNode(board.bus, board.device);
        if (opened == 0)
            steps.push_back({Result::kOk, "you may open " + node});
        else if (opened == LIBUSB_ERROR_ACCESS)
            steps.push_back(
                {Result::kFail, "no permission to open " + node +
                                    ": install the udev rule and re-plug the board; outside the "
                                    "local seat (SSH, remote desktop, service) use udev-rule "
                                    "--group GROUP and be in that group"});
        else
            steps.push_back({Result::kFail, "cannot open " + node + ": " + libusb_strerror(opened) +
                                                "; re-plug the board"});
        const bool mayOpen = opened == 0;
        for (CheckStep& step :
             ruleSteps(ids, ruleDirectories, mayOpen ? Result::kWarn : Result::kFail,
                       std::string(" | sudo tee /etc/udev/rules.d/") + kUdevRuleFileName))
            steps.push_back(std::move(step));
        const std::string driver = kernelDriver(board.port);
        if (driver == "usbfs")
            steps.push_back({Result::kFail, "interface 0 is claimed by another program: close it"});
        else if (!driver.empty())
            steps.push_back({Result::kOk, "kernel driver " + driver +
                                              " is bound to interface 0; the session detaches it"});
        else
            steps.push_back({Result::kOk, "no kernel driver bound to interface 0"});
        if (board.id == ids.after && !(ids.after == ids.before))
            steps.push_back({Result::kOk, "the firmware runs: no download needed"});
        else
            steps.push_back({Result::kOk,
                             "the firmware does not run yet: the session downloads "
                             "the image given with --firmware"});
    } else {
        for (CheckStep& step : ruleSteps(ids, ruleDirectories, Result::kWarn, ""))
            steps.push_back(std::move(step));
    }
    return report;
}

}  // namespace quarnel::usb
