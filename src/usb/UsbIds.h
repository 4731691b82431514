// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// USB ids of the evaluation board as the user writes them ("1209:0001", hex),
// and the udev rule that lets the desktop user open the board without root.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quarnel::usb {

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// The board before its firmware runs, and the id it re-enumerates with after.
struct UsbIds {
    UsbId before;
    UsbId after;
};

// Thrown by parseUsbIds; what() is a message fit for the user.
class UsbIdError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// "VID:PID" or "VID:PID/VID2:PID2", one to four hex digits each; without the
// second id the board keeps its id once the firmware runs.
UsbIds parseUsbIds(std::string_view text);

// "1209:0001": four lower-case hex digits each, as sysfs and lsusb show them.
std::string formatUsbId(UsbId id);
// "1209:0001 or 1209:0002" ("1209:0001" when both are one), or with the separator
// "/" the ids as the options take them.
std::string formatUsbIds(const UsbIds& ids, const char* separator = " or ");

// A port path as sysfs names the device ("1-2.3": bus 1, port 2 of the root hub, port 3
// of the hub there). It stays the same when the board re-enumerates. Throws UsbIdError.
std::string parseUsbPort(std::string_view text);

// A group name for the udev rule (letters, digits, _ and -). Throws UsbIdError.
std::string parseGroupName(std::string_view text);

// Numbered to sort before the seat rules that turn the uaccess tag into an ACL.
inline constexpr const char* kUdevRuleFileName = "70-quarnel-eval.rules";

// The rule file's text: TAG+="uaccess" for both ids (once when they are equal). The tag
// serves only the user at the local seat; with a group the node is also MODE 0660 for
// that group (SSH sessions, remote desktops, services).
std::string udevRule(const UsbIds& ids, const std::string& group = "");

}  // namespace quarnel::usb
