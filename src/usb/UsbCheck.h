// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `quarnelctl usb check`: what a first session with the board needs, step by step,
// each with its remedy, read from sysfs and the device node without claiming anything.

#include <string>
#include <vector>

#include "usb/UsbIds.h"

namespace quarnel::usb {

struct CheckStep {
    enum class Result { kOk, kWarn, kFail };  // kWarn: worth knowing, no obstacle
    Result result = Result::kOk;
    std::string text;  // what was found and, unless ok, what to do
};

struct CheckReport {
    std::vector<CheckStep> steps;
    bool severalBoards = false;  // and no port chosen
    bool sessionWouldStart() const;
};

// Where udev rules live, the administrator's first.
inline const std::vector<std::string> kUdevRuleDirectories = {
    "/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};

CheckReport checkUsbBoard(const UsbIds& ids, const std::string& port,
                          const std::vector<std::string>& ruleDirectories);

// "ok    text", "warn  text", "fail  text"
std::string checkLine(const CheckStep& step);

}  // namespace quarnel::usb
