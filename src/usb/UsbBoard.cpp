#include "usb/UsbBoard.h"

#include <libusb.h>
#include <sys/time.h>

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
constexpr double kPollSeconds = 0.1;

struct DeviceUnref {
    void operator()(libusb_device* d) const { libusb_unref_device(d); }
};
using DeviceRef = std::unique_ptr<libusb_device, DeviceUnref>;

UsbLocation locationOf(libusb_device* device) {
    return {libusb_get_bus_number(device), libusb_get_device_address(device)};
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
    // The first device with this id, other than the one at `except`.
    DeviceRef find(UsbId id, std::optional<UsbLocation> except = std::nullopt) const {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context, &list);
        DeviceRef found;
        for (ssize_t i = 0; i < count && !found; ++i) {
            libusb_device_descriptor d{};
            const UsbLocation at = locationOf(list[i]);
            if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == id.vendor &&
                d.idProduct == id.product &&
                !(except && except->bus == at.bus && except->device == at.device))
                found.reset(libusb_ref_device(list[i]));
        }
        if (count >= 0) libusb_free_device_list(list, 1);
        return found;
    }
};

UsbBoard::UsbBoard(UsbOptions options, Clock& clock)
    : options_(std::move(options)), clock_(clock), usb_(std::make_unique<Usb>()) {
    // Reported by LoadFirmWare, where every board failure is reported.
    usb_->initError = libusb_init(&usb_->context);
    if (usb_->initError) usb_->context = nullptr;
}

UsbBoard::~UsbBoard() = default;

std::optional<UsbLocation> UsbBoard::location() const {
    if (!usb_->handle) return std::nullopt;
    return usb_->at;
}

int16_t UsbBoard::fail(int16_t status, const std::string& diagnostic) const {
    if (options_.diagnostic)
        options_.diagnostic(diagnostic);
    else
        std::cerr << "quarnel usb: " << diagnostic << std::endl;
    return status;
}

int16_t UsbBoard::readImage(const std::string& file, std::vector<Chunk>& chunks) const {
    const std::string remedy = "; pass the board maker's image with --firmware";
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
    return 0;
}

int16_t UsbBoard::open(libusb_device* device) {
    const UsbLocation at = locationOf(device);
    const std::string node = deviceNode(at.bus, at.device);
    int r = libusb_open(device, &usb_->handle);
    if (r == 0) {
        r = libusb_claim_interface(usb_->handle, 0);
        if (r != 0) {
            libusb_close(usb_->handle);
            usb_->handle = nullptr;
        }
    }
    switch (r) {
        case 0:
            usb_->at = at;
            return 0;
        case LIBUSB_ERROR_ACCESS:
            return fail(kNoPermission, "no permission to open " + node +
                                           ": install the udev rule (quarnelctl usb udev-rule) "
                                           "and re-plug the board");
        case LIBUSB_ERROR_BUSY:
            return fail(kBoardInUse, "the board on " + node +
                                         " is in use by another program (interface 0 is "
                                         "claimed): close that program and start again");
        case LIBUSB_ERROR_NO_DEVICE:
            return fail(kBoardGone,
                        "the board on " + node +
                            " went away while being opened: re-plug it and start again");
        default:
            return fail(kUsbError, "cannot open " + node + ": " + libusb_strerror(r) +
                                       "; re-plug the board and start again");
    }
}

int16_t UsbBoard::transfer(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                           uint8_t* data, uint16_t length) {
    const int r = libusb_control_transfer(usb_->handle, type, request, value, index, data, length,
                                          options_.transferTimeoutMs);
    if (r == length) return 0;
    const std::string what = requestText(request, value, index);
    if (r >= 0)
        return fail(kShortTransfer, "the board moved " + std::to_string(r) + " of " +
                                        std::to_string(length) + " bytes of " + what +
                                        ": check the firmware image");
    switch (r) {
        case LIBUSB_ERROR_PIPE:
            return fail(kTransferStalled, "the board stalled " + what +
                                              ": its firmware does not support it; check the "
                                              "firmware image");
        case LIBUSB_ERROR_TIMEOUT:
            return fail(kTransferTimedOut, "the board did not answer " + what + " within " +
                                               std::to_string(options_.transferTimeoutMs) +
                                               " ms: re-plug the board and start again");
        case LIBUSB_ERROR_NO_DEVICE:
            return fail(kBoardGone, "the board on " + deviceNode(usb_->at.bus, usb_->at.device) +
                                        " is gone: check the cable, re-plug the board and "
                                        "start again");
        default:
            return fail(kUsbError, what + " failed: " + libusb_strerror(r) +
                                       "; re-plug the board and start again");
    }
}

int16_t UsbBoard::download(std::vector<Chunk>& chunks) {
    uint8_t cpucs = 0x01;  // hold the CPU while its RAM is written
    if (const int16_t s =
            transfer(kVendorOut, kRamLoaderRequest, options_.cpucsAddress, 0, &cpucs, 1))
        return s;
    for (Chunk& chunk : chunks) {
        if (const int16_t s =
                transfer(kVendorOut, kRamLoaderRequest, chunk.address, 0, chunk.bytes.data(),
                         static_cast<uint16_t>(chunk.bytes.size())))
            return s;
    }
    // Run: the board drops off the bus to come back with its firmware, so this
    // last write may well end in an error.
    cpucs = 0x00;
    libusb_control_transfer(usb_->handle, kVendorOut, kRamLoaderRequest, options_.cpucsAddress, 0,
                            &cpucs, 1, options_.transferTimeoutMs);
    return 0;
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
    DeviceRef loader = usb_->find(ids.before);
    if (!loader) {
        // Only the second id: the firmware already runs.
        DeviceRef running = usb_->find(ids.after);
        if (running) return open(running.get());
        std::string both = formatUsbId(ids.before);
        if (!(ids.after == ids.before)) both += " or " + formatUsbId(ids.after);
        return fail(kNoBoard, "no USB board " + both +
                                  " found: plug the board in and check its id with quarnelctl "
                                  "usb list");
    }
    if (const int16_t s = open(loader.get())) return s;
    const int16_t s = download(chunks);
    usb_->close();
    if (s) return s;

    const UsbLocation old = locationOf(loader.get());
    const double deadline = clock_.monotonic() + options_.reenumerationSeconds;
    for (;;) {
        if (DeviceRef board = usb_->find(ids.after, old)) return open(board.get());
        if (clock_.monotonic() >= deadline) break;
        // Lets libusb take in hotplug events; returns early when one arrives.
        timeval wait{0, 10000};
        libusb_handle_events_timeout_completed(usb_->context, &wait, nullptr);
        clock_.sleep(kPollSeconds);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", options_.reenumerationSeconds);
    return fail(kReenumerationTimeout,
                "the board did not come back as " + formatUsbId(ids.after) + " within " + seconds +
                    " s of its firmware download: check the ids given to --usb and the firmware "
                    "image");
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
