// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbIds.h"

#include <algorithm>
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

std::string ruleLine(UsbId id, const std::string& group) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                  "ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\"",
                  id.vendor, id.product);
    return line + (group.empty() ? "" : ", MODE=\"0660\", GROUP=\"" + group + "\"") + "\n";
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.size() <= 3 &&
           text.find_first_not_of("0123456789") == std::string_view::npos && text[0] != '0';
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

std::string parseUsbPort(std::string_view text) {
    const auto dash = text.find('-');
    bool ok = dash != std::string_view::npos && allDigits(text.substr(0, dash));
    int depth = 0;
    for (size_t at = dash + 1; ok && at <= text.size(); ++depth) {
        const size_t dot = std::min(text.find('.', at), text.size());
        ok = allDigits(text.substr(at, dot - at)) && depth < 7;
        at = dot + 1;
    }
    if (!ok)
        throw UsbIdError("\"" + std::string(text) +
                         "\" is not a USB port path BUS-PORT[.PORT...], e.g. 1-2.3 (quarnelctl usb "
                         "list shows them)");
    return std::string(text);
}

std::string parseGroupName(std::string_view text) {
    const bool ok = !text.empty() && text.size() <= 32 && text[0] != '-' &&
                    text.find_first_not_of(
                        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                        "0123456789_-") == std::string_view::npos;
    if (!ok) throw UsbIdError("\"" + std::string(text) + "\" is not a group name, e.g. plugdev");
    return std::string(text);
}

std::string formatUsbId(UsbId id) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
    return text;
}

std::string formatUsbIds(const UsbIds& ids, const char* separator) {
    std::string text = formatUsbId(ids.before);
    if (ids.after == ids.before) return text;
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about
    // prepending to a temporary string at -O3.
    text += separator;
    text += formatUsbId(ids.after);
    return text;
}

std::string udevRule(const UsbIds& ids, const std::string& group) {
    std::string text = "# QUARNEL evaluation board: lets the user at the seat" +
                       (group.empty() ? "" : " and the group " + group) +
                       " open it without root.\n"
                       "# Install as /etc/udev/rules.d/" +
                       std::string(kUdevRuleFileName) +
                       ", run `udevadm control --reload`,\n# then re-plug the board.\n";
    text += "# " + formatUsbId(ids.before) + ": before its firmware runs\n" +
            ruleLine(ids.before, group);
    if (!(ids.after == ids.before))
        text += "# " + formatUsbId(ids.after) + ": once its firmware runs\n" +
                ruleLine(ids.after, group);
    return text;
}

}  // namespace quarnel::usb
