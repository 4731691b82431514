// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbIds.h"

#include <cstdio>

namespace quarnel::usb {
namespace {

std::optional<UsbId> parseId(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    uint16_t parts[2];
    const std::string_view fields[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int i = 0; i < 2; ++i) {
        if (fields[i].empty() || fields[i].size() > 4) return std::nullopt;
        unsigned v = 0;
        for (char c : fields[i]) {
            const int d = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
            if (d < 0) return std::nullopt;
            v = v * 16 + static_cast<unsigned>(d);
        }
        parts[i] = static_cast<uint16_t>(v);
    }
    return UsbId{parts[0], parts[1]};
}

std::string ruleLine(UsbId id) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                  "ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\"\n",
                  id.vendor, id.product);
    return line;
}

}  // namespace

UsbIds parseUsbIds(std::string_view text) {
    const auto slash = text.find('/');
    const auto before = parseId(text.substr(0, slash));
    const auto after = slash == std::string_view::npos ? before : parseId(text.substr(slash + 1));
    if (!before || !after)
        throw UsbIdError("\"" + std::string(text) +
                         "\" is not VID:PID or VID:PID/VID2:PID2 in hex, e.g. 1209:0001/1209:0002");
    return UsbIds{*before, *after};
}

std::string formatUsbId(UsbId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    return text;
}

std::string udevRule(const UsbIds& ids) {
    std::string text =
        "# QUARNEL evaluation board: lets the user at the seat open it without root.\n"
        "# Install as /etc/udev/rules.d/" +
        std::string(kUdevRuleFileName) +
        ", run `udevadm control --reload`,\n# then re-plug the board.\n";
    text += "# " + formatUsbId(ids.before) + ": before its firmware runs\n" + ruleLine(ids.before);
    if (!(ids.after == ids.before))
        text += "# " + formatUsbId(ids.after) + ": once its firmware runs\n" + ruleLine(ids.after);
    return text;
}

}  // namespace quarnel::usb
