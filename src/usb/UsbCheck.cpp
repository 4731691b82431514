// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbCheck.h"

#include <libusb.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "link/AsciiText.h"
#include "usb/UsbDevices.h"

namespace quarnel::usb {
namespace {

using Result = CheckStep::Result;

// The first rule file with a line that matches the id, or "".
std::string ruleFileFor(UsbId id, const std::vector<std::string>& directories) {
    const std::string vendor =
        "attr{idvendor}==\"" + AsciiLower(formatUsbId(id).substr(0, 4)) + "\"";
    const std::string product =
        "attr{idproduct}==\"" + AsciiLower(formatUsbId(id).substr(5)) + "\"";
    for (const std::string& directory : directories) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
            if (entry.path().extension() == ".rules") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::ifstream in(file);
            for (std::string line; std::getline(in, line);) {
                line = AsciiLower(line);
                if (line.find(vendor) != std::string::npos &&
                    line.find(product) != std::string::npos)
                    return file.string();
            }
        }
    }
    return "";
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
    const std::string idsText = formatUsbIds(ids, "/");

    // The udev rule.
    std::string rules;
    bool ruleMissing = false;
    for (UsbId id : {ids.before, ids.after}) {
        const std::string file = ruleFileFor(id, ruleDirectories);
        ruleMissing |= file.empty();
        if (!file.empty() && rules.find(file) == std::string::npos)
            rules += (rules.empty() ? "" : ", ") + file;
    }

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
        if (ruleMissing)
            steps.push_back({mayOpen ? Result::kWarn : Result::kFail,
                             "no udev rule for " + both + ": quarnelctl usb udev-rule " + idsText +
                                 " | sudo tee /etc/udev/rules.d/" + kUdevRuleFileName});
        else
            steps.push_back({Result::kOk, "udev rule for " + both + " in " + rules});
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
        steps.push_back({ruleMissing ? Result::kWarn : Result::kOk,
                         ruleMissing
                             ? "no udev rule for " + both + ": quarnelctl usb udev-rule " + idsText
                             : "udev rule for " + both + " in " + rules});
    }
    return report;
}

}  // namespace quarnel::usb
