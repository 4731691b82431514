// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbBoard.h"

#include <libusb.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "link/FirmwareImage.h"
#include "usb/UsbDevices.h"

namespace quarnel::usb {
namespace {

constexpr uint8_t kVendorOut = 0x40;
constexpr uint8_t kVendorIn = 0xC0;
constexpr uint32_t kRamLoaderReach = 0x10000;  // wValue carries the address
constexpr double kPollSeconds = 0.05;
constexpr double kUnplugGraceSeconds = 0.5;
constexpr double kTellWaitSeconds = 1.0;  // a wait longer than this is told what it waits for
// The firmware answers it; a RAM loader knows its own request alone and stalls it.
constexpr uint8_t kProbeRequest = 0xDA;

struct DeviceUnref {
    void operator()(libusb_device* d) const { libusb_unref_device(d); }
};
using DeviceRef = std::unique_ptr<libusb_device, DeviceUnref>;

UsbLocation locationOf(libusb_device* device) {
    return {libusb_get_bus_number(device), libusb_get_device_address(device), portPath(device)};
}

// The image shipped for the simulated board says what it is; a real board would never
// come back from it.
bool isPlaceholder(const std::vector<HexRecord>& records) {
    std::string data;
    for (const HexRecord& record : records) data.append(record.bytes.begin(), record.bytes.end());
    return data.find("bridge firmware 1.0 (simulated board)") != std::string::npos;
}

// A device's identity on the bus: a board that re-enumerates gets a new address.
std::string keyOf(const UsbDeviceInfo& info) {
    return std::to_string(info.bus) + "." + std::to_string(info.device);
}

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

std::string requestText(int request, int value, int index) {
    char text[64];
    std::snprintf(text, sizeof text, "request %d (value 0x%04X, index 0x%04X)", request, value,
                  index);
    return text;
}

}  // namespace

struct UsbBoard::Usb {
    libusb_context* context = nullptr;
    int initError = 0;
    libusb_device_handle* handle = nullptr;
    UsbLocation at;

    ~Usb() {
        close();
        if (context) libusb_exit(context);
    }
    void close() {
        if (!handle) return;
        libusb_release_interface(handle, 0);
        libusb_close(handle);
        handle = nullptr;
    }
    // A context of its own reads the bus afresh. No device of the old one may be held.
    void renew() {
        close();
        if (context) libusb_exit(context);
        context = nullptr;
        initError = libusb_init(&context);
        if (initError) context = nullptr;
    }
    // Every device listed now, each with its libusb device.
    std::vector<std::pair<UsbDeviceInfo, DeviceRef>> list() const {
        libusb_device** devices = nullptr;
        const ssize_t count = libusb_get_device_list(context, &devices);
        std::vector<std::pair<UsbDeviceInfo, DeviceRef>> result;
        for (ssize_t i = 0; i < count; ++i) {
            UsbDeviceInfo info;
            if (deviceInfo(devices[i], info))
                result.emplace_back(info, DeviceRef(libusb_ref_device(devices[i])));
        }
        if (count >= 0) libusb_free_device_list(devices, 1);
        std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
            return std::pair(a.first.bus, a.first.device) < std::pair(b.first.bus, b.first.device);
        });
        return result;
    }
};

UsbBoard::UsbBoard(UsbOptions options, Clock& clock)
    : options_(std::move(options)), clock_(&clock), usb_(std::make_unique<Usb>()) {
    // Reported by LoadFirmWare, where every board failure is reported.
    usb_->initError = libusb_init(&usb_->context);
    if (usb_->initError) usb_->context = nullptr;
}

UsbBoard::~UsbBoard() = default;

void UsbBoard::waitWith(Clock& clock, std::function<bool()> stop) {
    clock_ = &clock;
    stop_ = std::move(stop);
}

std::optional<UsbLocation> UsbBoard::location() const {
    if (!usb_->handle) return std::nullopt;
    return usb_->at;
}

int16_t UsbBoard::fail(int16_t status, const std::string& diagnostic) const {
    lastFailure_ = status;
    held_ = diagnostic;
    if (options_.note) options_.note(diagnostic);
    return status;
}

void UsbBoard::tell(const std::string& line) const {
    if (options_.diagnostic)
        options_.diagnostic(line);
    else
        std::cerr << "quarnel usb: " << line << std::endl;
}

int16_t UsbBoard::readImage(const std::string& file, std::vector<Chunk>& chunks) const {
    // The file was given as the board maker's image: say what to check in it, not
    // to pass what was passed.
    const std::string remedy =
        "; check that it is the board maker's image for this board, whole and unchanged";
    const FirmwareImage image = ReadFirmwareImage(file);
    if (image.status != FirmwareImage::kOk) return fail(kFirmwareInvalid, image.error + remedy);
    const HexCheck& check = image.check;
    // Contiguous data goes out in as few requests as the chunk limit allows.
    for (const HexRecord& record : check.records) {
        if (record.address + record.bytes.size() > kRamLoaderReach)
            return fail(kFirmwareInvalid, "firmware image " + file +
                                              " has data beyond the 64 KiB the RAM loader reaches" +
                                              remedy);
        auto address = static_cast<uint16_t>(record.address);
        for (uint8_t byte : record.bytes) {
            if (chunks.empty() || chunks.back().bytes.size() == kMaxChunkBytes ||
                chunks.back().address + chunks.back().bytes.size() != address)
                chunks.push_back({address, {}});
            chunks.back().bytes.push_back(byte);
            ++address;
        }
    }
    if (const auto why = checkImagePlacement(check.records, options_.ram, options_.cpucsAddress))
        return fail(kFirmwareInvalid, "firmware image " + file + " " + *why);
    if (isPlaceholder(check.records))
        return fail(kFirmwareInvalid, "firmware image " + file +
                                          " is the simulated board's placeholder, no firmware "
                                          "for a real board; pass the board maker's image with "
                                          "--firmware (or Firmware= in [Board])");
    return 0;
}

int16_t UsbBoard::open(libusb_device* device) {
    const UsbLocation at = locationOf(device);
    const std::string node = deviceNode(at.bus, at.device);
    const std::string port = portPath(device);
    int r = libusb_open(device, &usb_->handle);
    if (r == 0) {
        // A kernel driver bound to the interface is asked to let go of it.
        libusb_set_auto_detach_kernel_driver(usb_->handle, 1);
        r = libusb_claim_interface(usb_->handle, 0);
    }
    if (r == 0) {
        usb_->at = at;
        UsbDeviceInfo info;
        if (deviceInfo(device, info)) usb_->at.serial = info.serial;
        lastPort_ = at.port;
        return 0;
    }
    int configuration = -1;
    const bool unconfigured = usb_->handle &&
                              libusb_get_configuration(usb_->handle, &configuration) == 0 &&
                              configuration == 0;
    const bool driverBound = usb_->handle && libusb_kernel_driver_active(usb_->handle, 0) == 1;
    if (usb_->handle) libusb_close(usb_->handle);
    usb_->handle = nullptr;
    return openFailed(r, node, port, unconfigured, driverBound);
}

int16_t UsbBoard::openFailed(int r, const std::string& node, const std::string& port,
                             bool unconfigured, bool driverBound) const {
    if (r == LIBUSB_ERROR_ACCESS)
        return fail(kNoPermission,
                    "no permission to open " + node +
                        ": install the udev rule (quarnelctl usb udev-rule) and re-plug the "
                        "board; its uaccess tag serves only the user at the local seat, so for "
                        "SSH, a remote desktop or a service use udev-rule --group GROUP and be in "
                        "that group");
    if (r == LIBUSB_ERROR_NO_DEVICE)
        return fail(kBoardGone, "the board on " + node +
                                    " went away while being opened: re-plug it and start again");
    if (unconfigured)
        return fail(kUsbError, "the board on " + node +
                                   " has no configuration: the system refused it, most likely "
                                   "for lack of power; plug it into a powered hub or another port");
    if (r == LIBUSB_ERROR_BUSY && driverBound) {
        const std::string driver = kernelDriver(port);
        return fail(kBoardInUse, "the kernel driver " + (driver.empty() ? "?" : driver) +
                                     " holds interface 0 of the board on " + node +
                                     " and would not let go: unbind it (or keep it from "
                                     "binding) and start again");
    }
    if (r == LIBUSB_ERROR_BUSY)
        return fail(kBoardInUse, "the board on " + node +
                                     " is in use by another program (interface 0 is "
                                     "claimed): close that program and start again");
    return fail(kUsbError, "cannot open " + node + ": " + libusb_strerror(r) +
                               "; re-plug the board and start again");
}

int16_t UsbBoard::transfer(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                           uint8_t* data, uint16_t length) {
    const auto send = [&] {
        return libusb_control_transfer(usb_->handle, type, request, value, index, data, length,
                                       options_.transferTimeoutMs);
    };
    int r = send();
    // A transfer that failed while the board is still on the bus (a glitch of a
    // busy hub) is tried once more; only a second failure counts.
    if (r < 0 && r != LIBUSB_ERROR_NO_DEVICE && stillListed()) r = send();
    const bool answeredBefore =
        std::find(answered_.begin(), answered_.end(), request) != answered_.end();
    if (r == length) {
        held_.clear();
        if (!answeredBefore) answered_.push_back(request);
        return 0;
    }
    const std::string what = requestText(request, value, index);
    if (r >= 0)
        return fail(kShortTransfer, "the board moved " + std::to_string(r) + " of " +
                                        std::to_string(length) + " bytes of " + what +
                                        ": check the firmware image");
    return transferFailed(r, what, answeredBefore);
}

int16_t UsbBoard::transferFailed(int r, const std::string& what, bool answeredBefore) {
    // A board pulled out often ends its last transfer with an I/O error.
    if (r == LIBUSB_ERROR_NO_DEVICE || (r == LIBUSB_ERROR_IO && !stillListed()))
        return fail(kBoardGone, "the board on " + deviceNode(usb_->at.bus, usb_->at.device) +
                                    " is gone: check the cable, re-plug the board and "
                                    "start again");
    switch (r) {
        case LIBUSB_ERROR_PIPE:
            // A request it answered before is no question of the image.
            if (answeredBefore)
                return fail(kTransferStalled,
                            "the board stalled " + what +
                                ", which it had answered before: the chip or the board may be "
                                "stuck; re-plug the board and start again");
            return fail(kTransferStalled, "the board stalled " + what +
                                              ": its firmware does not support it; check the "
                                              "firmware image");
        case LIBUSB_ERROR_TIMEOUT:
            return fail(kTransferTimedOut, "the board did not answer " + what + " within " +
                                               std::to_string(options_.transferTimeoutMs) +
                                               " ms: re-plug the board and start again");
        default:
            return fail(kUsbError, what + " failed: " + libusb_strerror(r) +
                                       "; re-plug the board and start again");
    }
}

// The hub reports a pulled cable a little after the transfer failed.
bool UsbBoard::stillListed() {
    const double end = clock_->monotonic() + kUnplugGraceSeconds;
    for (;;) {
        bool listed = false;
        for (const auto& [info, device] : usb_->list())
            listed |= info.bus == usb_->at.bus && info.device == usb_->at.device;
        if (!listed) return false;
        if (clock_->monotonic() >= end) return true;
        clock_->sleep(kPollSeconds);
    }
}

int16_t UsbBoard::download(std::vector<Chunk>& chunks) {
    const std::string cpucs = hex4(options_.cpucsAddress) + "h";
    uint8_t value = 0x01;  // hold the CPU while its RAM is written
    if (const int16_t s =
            transfer(kVendorOut, kRamLoaderRequest, options_.cpucsAddress, 0, &value, 1))
        return s;
    for (Chunk& chunk : chunks) {
        if (const int16_t s =
                transfer(kVendorOut, kRamLoaderRequest, chunk.address, 0, chunk.bytes.data(),
                         static_cast<uint16_t>(chunk.bytes.size())))
            return s;
    }
    // Run: the board drops off the bus to come back with its firmware, so this last
    // write may end in an I/O error or find the board gone. Anything else means the
    // write did not reach a CPU control register.
    value = 0x00;
    const int r =
        libusb_control_transfer(usb_->handle, kVendorOut, kRamLoaderRequest, options_.cpucsAddress,
                                0, &value, 1, options_.transferTimeoutMs);
    if (r == 1 || r == LIBUSB_ERROR_IO || r == LIBUSB_ERROR_NO_DEVICE) return 0;
    const std::string what =
        "the write of 00h to the CPU control register at " + cpucs + " that lets the CPU run";
    const std::string remedy = ": check --usb-cpucs (the board's CPU control register)";
    switch (r) {
        case LIBUSB_ERROR_PIPE:
            return fail(kTransferStalled, "the board stalled " + what + remedy);
        case LIBUSB_ERROR_TIMEOUT:
            return fail(kTransferTimedOut, "the board did not answer " + what + remedy);
        default:
            return fail(r >= 0 ? kShortTransfer : kUsbError,
                        what + " ended with " +
                            (r >= 0 ? std::to_string(r) + " bytes written" : libusb_strerror(r)) +
                            remedy);
    }
}

bool UsbBoard::firmwareAnswers() {
    uint8_t byte = 0;
    return libusb_control_transfer(usb_->handle, kVendorIn, kProbeRequest, 0, 0, &byte, 1,
                                   options_.transferTimeoutMs) == 1;
}

int16_t UsbBoard::LoadFirmWare(const char* path) {
    usb_->close();
    const std::string file = path ? path : "";
    std::vector<Chunk> chunks;
    if (const int16_t s = readImage(file, chunks)) return s;
    if (!usb_->context)
        return fail(kUsbError,
                    std::string("USB is not available: ") + libusb_strerror(usb_->initError));
    const UsbIds& ids = options_.ids;
    std::vector<std::string> present;  // what was there before the download
    UsbLocation loader;
    {
        // The devices of this context are let go of before the wait may renew it.
        const auto listed = usb_->list();
        std::vector<const std::pair<UsbDeviceInfo, DeviceRef>*> boards;
        for (const auto& entry : listed) {
            present.push_back(keyOf(entry.first));
            if (isCandidate(entry.first, ids, options_.port, options_.serial))
                boards.push_back(&entry);
        }
        const auto keepOnly = [&boards](auto keep) {
            if (std::any_of(boards.begin(), boards.end(), keep))
                std::erase_if(boards, [&](const auto* b) { return !keep(b); });
        };
        // A board that reports the serial asked for before loaders that report none;
        // a board opened before (a reconnection) where it was, if it is there.
        if (!options_.serial.empty())
            keepOnly([this](const auto* b) { return b->first.serial == options_.serial; });
        if (options_.port.empty() && !lastPort_.empty())
            keepOnly([this](const auto* b) { return b->first.port == lastPort_; });
        const std::string both = formatUsbIds(ids);
        const std::string serial =
            options_.serial.empty() ? "" : " with serial number " + options_.serial;
        if (boards.empty())
            return fail(kNoBoard, "no USB board " + both + serial +
                                      (options_.port.empty() ? "" : " on port " + options_.port) +
                                      " found: plug the board in and check its id and port with "
                                      "quarnelctl usb list");
        if (boards.size() > 1) {
            std::string which;
            for (const auto* board : boards)
                which += (which.empty() ? "" : ", ") + whereIs(board->first);
            return fail(kSeveralBoards,
                        std::to_string(boards.size()) + " USB boards " + both + serial +
                            " found: " + which +
                            "; choose one with --usb-port (or UsbPort= in [Board])");
        }
        const auto& [info, device] = *boards.front();
        if (!lastPort_.empty() && info.port != lastPort_)
            tell("the board is on port " + info.port + " now, no longer on port " + lastPort_);
        // With only the second id the firmware already runs.
        if (!options_.reload && !(ids.after == ids.before) && info.id == ids.after)
            return open(device.get());
        if (const int16_t s = open(device.get())) return s;
        // With one id for both, the board is asked.
        if (!options_.reload && ids.after == ids.before && firmwareAnswers()) return 0;
        loader = usb_->at;
        const int16_t s = download(chunks);
        usb_->close();
        if (s) return s;
    }
    return awaitReturn(loader, present);
}

// Without udev events libusb's list stays as it was: when sysfs shows other devices
// than libusb lists, a context of its own reads the bus afresh (once for each change).
void UsbBoard::rescanWhenStale(const std::vector<std::string>& listed) {
    std::vector<std::string> onBus = sysfsDeviceKeys(), seen = listed;
    std::sort(seen.begin(), seen.end());
    if (onBus.empty() || onBus == seen || onBus == sysfs_) return;
    sysfs_ = std::move(onBus);
    usb_->renew();
}

int16_t UsbBoard::awaitReturn(const UsbLocation& old, const std::vector<std::string>& before) {
    const UsbIds& ids = options_.ids;
    const double start = clock_->monotonic();
    const double deadline = start + options_.reenumerationSeconds;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", options_.reenumerationSeconds);
    bool left = false, told = false;
    std::vector<std::string> appeared;  // what came up meanwhile, for the message
    std::vector<std::string> strays;    // boards with the second id on another port
    for (;;) {
        if (stop_ && stop_()) return kWaitCancelled;
        const bool last = clock_->monotonic() >= deadline;
        std::vector<std::string> keys;
        {
            DeviceRef home;
            std::vector<std::pair<UsbDeviceInfo, DeviceRef>> away;
            bool oldListed = false;
            strays.clear();
            for (auto& [info, device] : usb_->list()) {
                keys.push_back(keyOf(info));
                oldListed |= info.bus == old.bus && info.device == old.device;
                if (std::find(before.begin(), before.end(), keyOf(info)) != before.end()) continue;
                if (std::find(appeared.begin(), appeared.end(), whereIs(info)) == appeared.end())
                    appeared.push_back(whereIs(info));
                if (info.id != ids.after ||
                    (!options_.serial.empty() && info.serial != options_.serial))
                    continue;
                if (info.port == old.port)
                    home = std::move(device);
                else if (options_.port.empty())
                    away.emplace_back(info, std::move(device));
                else
                    strays.push_back(whereIs(info));
            }
            left |= !oldListed;
            if (left && home) return open(home.get());
            // Another board plugged in meanwhile must not be taken for ours: one that
            // came up elsewhere is taken only at the end of the wait, and only alone.
            if (left && last && away.size() == 1) {
                tell("the board came back on port " + away[0].first.port + ", not on port " +
                     old.port + " where it was");
                return open(away[0].second.get());
            }
            if (last) break;
        }
        if (!told && options_.reenumerationSeconds > 2 * kTellWaitSeconds &&
            clock_->monotonic() - start >= kTellWaitSeconds) {
            told = true;
            tell("waiting up to " + std::string(seconds) + " s for the board to come back as " +
                 formatUsbId(ids.after) + " on port " + old.port + " after its firmware download");
        }
        rescanWhenStale(keys);
        // Lets libusb take in hotplug events; returns early when one arrives.
        timeval wait{0, 10000};
        libusb_handle_events_timeout_completed(usb_->context, &wait, nullptr);
        clock_->sleep(kPollSeconds);
    }
    const std::string cpucs = "--usb-cpucs (" + hex4(options_.cpucsAddress) + "h)";
    if (!left)
        return fail(kReenumerationTimeout, "the board on " + deviceNode(old.bus, old.device) +
                                               " was still on the bus " + seconds +
                                               " s after its CPU was let run: check " + cpucs +
                                               ", the address of its CPU control register");
    const auto joined = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
        return text.empty() ? std::string("none") : text;
    };
    if (!strays.empty())
        return fail(kReenumerationTimeout,
                    "the board did not come back on port " + options_.port +
                        " that --usb-port names, but " + joined(strays) +
                        " appeared: it came back elsewhere (another hub or bus); name that port "
                        "or plug the board back where it was");
    return fail(kReenumerationTimeout,
                "the board did not come back as " + formatUsbId(ids.after) +
                    (options_.serial.empty() ? "" : " with serial number " + options_.serial) +
                    " on port " + old.port + " within " + seconds +
                    " s of its firmware download (appeared meanwhile: " + joined(appeared) +
                    "): check the ids given to --usb, the firmware image and " + cpucs +
                    "; a slow hub may need a longer --usb-wait");
}

int16_t UsbBoard::VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                                  int16_t length, uint8_t* buffer) {
    if (request < 0 || request > 255 || (direction != kDirectionIn && direction != kDirectionOut) ||
        length < 0 || (length > 0 && buffer == nullptr))
        return fail(kBadRequest, "request " + std::to_string(request) + " with direction " +
                                     std::to_string(direction) + " and length " +
                                     std::to_string(length) +
                                     " is out of range and was not sent: a program error");
    if (!usb_->handle)
        return fail(kNotOpen, "no USB board is open: the firmware download did not succeed");
    return transfer(direction == kDirectionIn ? kVendorIn : kVendorOut,
                    static_cast<uint8_t>(request), static_cast<uint16_t>(value & 0xFFFF),
                    static_cast<uint16_t>(index & 0xFFFF), length > 0 ? buffer : nullptr,
                    static_cast<uint16_t>(length));
}

}  // namespace quarnel::usb
