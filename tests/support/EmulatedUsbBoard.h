// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An evaluation board on an emulated USB bus: umockdev shows libusb a device with
// the board's ids and hands its usbdevfs calls to handle(), which answers the RAM
// loader itself and passes vendor requests to the board behind it. Create it
// before the USB board, in a process under umockdev-wrapper; programs started from
// there reach it too. handle() runs on the testbed's thread, so what it shares is locked.

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/Orvalink.h"
#include "usb/UsbBoard.h"
#include "usb/UsbDevices.h"

namespace quarnel::test {

struct SetupPacket {
    uint8_t requestType = 0, request = 0;
    uint16_t value = 0, index = 0, length = 0;
    std::vector<uint8_t> data = {};  // OUT data
    bool operator==(const SetupPacket&) const = default;
};

class EmulatedUsbBoard {
  public:
    // kUnplugIo: pulled, the transfer ends in an I/O error; kIoError: one while plugged in.
    enum class Fault { kNone, kStall, kTimeout, kUnplug, kUnplugIo, kIoError, kShort };
    struct Options {
        usb::UsbIds ids{{0x1209, 0x0001}, {0x1209, 0x0002}};
        bool firmwareRunning = false;  // plugged in with the second id
        bool busy = false;             // interface 0 claimed by another program
        bool denyOpen = false;         // device node mode 0000
        bool comesBack = true;         // re-enumerates once its CPU runs

        std::string port = "1-1", returnPort = port;  // where it comes back
        double returnSeconds = 0;                     // real time before it comes back
        double lingerSeconds = 0;    // the old device stays listed (return on another port)
        double replugSeconds = -1;   // pulled (kUnplug): back as a fresh loader after this
        std::string strayPort{};     // another running board appears there as the CPU runs
        std::string serial{};        // what the running firmware reports
        bool uevents = true;         // false: libusb hears of no change (a container)
        int releaseError = ENODEV;   // how the write that lets the CPU run ends; 0: written
        std::string kernelDriver{};  // bound to interface 0 until detached
        bool driverStays = false;    // refuses to be detached
        bool unconfigured = false;   // the kernel set no configuration
        std::vector<std::pair<usb::UsbId, std::string>> others = {};  // listed, never answer
    };
    static constexpr uint16_t kCpucs = 0xE600;

    EmulatedUsbBoard(Orvalink& behind, Options options)
        : behind_(behind), options_(options), running_(options.firmwareRunning) {
        // Without it libusb would see the machine's real devices.
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload"))
            throw std::runtime_error("USB tests must run under umockdev-wrapper");
        auto onIoctl = +[](UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
            static_cast<EmulatedUsbBoard*>(self)->handle(client);
            return TRUE;
        };
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
        int devnum = 20;
        for (const auto& [id, port] : options_.others) add(id, port, devnum++, false);
        plug(running_ ? options_.ids.after : options_.ids.before, options_.port);
    }
    ~EmulatedUsbBoard() {
        later_.clear();  // stops and joins what is still waiting
        for (auto* urb : urbs_) g_object_unref(urb);
        g_object_unref(handler_);
        g_object_unref(testbed_);
    }

    // The fault strikes `times` transfers in a row, after the next `after` ones.
    void failNext(Fault fault, int after = 0, int times = 1) {
        std::lock_guard lock(mutex_);
        fault_ = {fault, after};
        faultTimes_ = times;
    }
    std::vector<SetupPacket> setups() const {
        std::lock_guard lock(mutex_);
        return setups_;
    }

  private:
    // A device in sysfs with its node, and its uevent; returns the node.
    std::string add(usb::UsbId id, const std::string& port, int devnum, bool ours = true) {
        // Our firmware reports the serial number, a loader none.
        const bool firmware = ours && id == options_.ids.after &&
                              (running_ || !(options_.ids.after == options_.ids.before));
        const std::string serial =
            firmware && !options_.serial.empty() ? "A: serial=" + options_.serial + "\n" : "";
        const int bus = std::stoi(port);
        const std::string node = usb::deviceNode(bus, devnum), sys = "/sys/devices/" + port;
        const bool configured = !(options_.unconfigured && id == options_.ids.before);
        char device[1024];  // descriptors: device, configuration, interface (vendor class)
        std::snprintf(
            device, sizeof device,
            "P: /devices/%s\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=%s\nN: %s=00\n"
            "A: idVendor=%04x\nA: idProduct=%04x\nA: busnum=%d\nA: devnum=%d\n"
            "A: bConfigurationValue=%s\nA: manufacturer=Quarnel test\nA: product=Emulated "
            "evaluation board\nH: descriptors=12010002FF000040%02X%02X%02X%02X000101020001"
            "0902120001010080320904000000FF000000\n%s",
            port.c_str(), node.c_str(), node.c_str() + 5, id.vendor, id.product, bus, devnum,
            configured ? "1" : "", id.vendor & 0xFF, id.vendor >> 8, id.product & 0xFF,
            id.product >> 8, serial.c_str());
        // The handler first: a board may come back from another thread while the program
        // polls for it, and umockdev's preload library gives up on a node it finds without
        // a handler.
        umockdev_testbed_attach_ioctl(testbed_, node.c_str(), handler_, nullptr);
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, device, &error))
            throw std::runtime_error(error->message);
        // umockdev sends no uevent of its own, and libusb learns of boards only from them.
        if (options_.uevents) umockdev_testbed_uevent(testbed_, sys.c_str(), "add");
        return node;
    }
    void plug(usb::UsbId id, const std::string& port) {
        node_ = add(id, port, devnum_);
        sysfs_ = "/sys/devices/" + port;
        g_autofree gchar* dir = umockdev_testbed_get_root_dir(testbed_);
        driver_ = id == options_.ids.before ? options_.kernelDriver : "";
        if (!driver_.empty()) {
            const std::string interface = dir + sysfs_ + "/" + port + ":1.0";
            mkdir(interface.c_str(), 0755);
            symlink(("../../../bus/usb/drivers/" + driver_).c_str(),
                    (interface + "/driver").c_str());
        }
        if (options_.denyOpen) {
            // Only a user other than root meets the mode (the test switches to one); the
            // preload library connects to the handler even when the open failed.
            chmod(dir, 0755);
            chmod((dir + node_).c_str(), 0);
            chmod((dir + ("/ioctl" + node_)).c_str(), 0777);
        }
    }
    // The node still hands back what was submitted before, as the kernel's does.
    void unplug(bool listed = false) {
        if (!listed) {
            if (options_.uevents) umockdev_testbed_uevent(testbed_, sysfs_.c_str(), "remove");
            umockdev_testbed_remove_device(testbed_, sysfs_.c_str());
        }
        oldNode_ = std::exchange(node_, "");
    }
    // Runs f on the testbed after `seconds` of real time, unless the board is destroyed first.
    void later(double seconds, std::function<void()> f) {
        later_.emplace_back([this, seconds, f](std::stop_token stop) {
            std::unique_lock lock(mutex_);
            stopped_.wait_for(lock, stop, std::chrono::duration<double>(seconds),
                              [] { return false; });
            if (!stop.stop_requested()) f();
        });
    }

    void handle(UMockdevIoctlClient* client) {
        std::lock_guard lock(mutex_);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const auto complete = [&](long result, int error = 0) {
            umockdev_ioctl_client_complete(client, result, error);
        };
        const auto urbOf = [](auto* data) { return reinterpret_cast<usbdevfs_urb*>(data->data); };
        const std::string node = umockdev_ioctl_client_get_devnode(client);
        const auto request = umockdev_ioctl_client_get_request(client);
        const bool reap = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_DISCARDURB;
        if (node != node_ && !(reap && node == oldNode_)) return complete(-1, ENODEV);
        switch (request) {
            case USBDEVFS_CLAIMINTERFACE:
                return complete(options_.busy || !driver_.empty() ? -1 : 0, EBUSY);
            case USBDEVFS_RELEASEINTERFACE:
                return complete(0);
            case USBDEVFS_DISCONNECT_CLAIM:  // libusb's claim once asked to detach drivers
                if (options_.unconfigured && !running_) return complete(-1, EINVAL);
                if (options_.busy || options_.driverStays) return complete(-1, EBUSY);
                driver_.clear();
                return complete(0);
            case USBDEVFS_GETDRIVER: {
                // The argument is the pointer to the struct the driver's name goes into.
                std::string driver = options_.busy ? "usbfs" : driver_;
                auto* get =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
                umockdev_ioctl_data_update(get, offsetof(usbdevfs_getdriver, driver),
                                           reinterpret_cast<guint8*>(driver.data()),
                                           gint(driver.size() + 1));
                return complete(driver.empty() ? -1 : 0, ENODATA);
            }
            case USBDEVFS_SUBMITURB:  // a device removed during the call loses its answer
                complete(submit(arg), ENODEV);
                if (auto next = std::exchange(reenumerate_, {})) next();
                return;
            case USBDEVFS_REAPURBNDELAY: {
                auto done = std::find_if(urbs_.begin(), urbs_.end(), [&](auto* urb) {
                    return urbOf(urb)->status != -EINPROGRESS;
                });
                if (done == urbs_.end()) return complete(-1, EAGAIN);
                auto* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
                umockdev_ioctl_data_set_ptr(target, 0, *done);
                g_object_unref(*done);
                urbs_.erase(done);
                return complete(0);
            }
            case USBDEVFS_DISCARDURB:  // a discarded URB is reaped with -ENOENT, as the kernel does
                for (auto* urb : urbs_)
                    if (urb->client_addr == *reinterpret_cast<gulong*>(arg->data) &&
                        urbOf(urb)->status == -EINPROGRESS)
                        urbOf(urb)->status = -ENOENT;
                return complete(0);
            default:
                return complete(-1, ENOTTY);
        }
    }

    // The result of SUBMITURB: 0, or -1 when the board dropped off the bus.
    int submit(UMockdevIoctlData* arg) {
        auto* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        uint8_t* b = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                 gsize(urb->buffer_length), nullptr)
                         ->data;
        SetupPacket setup{b[0], b[1], uint16_t(b[2] | b[3] << 8), uint16_t(b[4] | b[5] << 8),
                          uint16_t(b[6] | b[7] << 8)};
        const bool in = (setup.requestType & 0x80) != 0;
        if (!in) setup.data.assign(b + 8, b + 8 + setup.length);
        setups_.push_back(setup);
        Fault fault = Fault::kNone;
        if (fault_.second-- <= 0 && fault_.first != Fault::kNone) {
            fault = fault_.first;
            if (--faultTimes_ <= 0) fault_.first = Fault::kNone;
        }
        bool stall = fault == Fault::kStall;
        int error = fault == Fault::kIoError ? EPROTO : 0;
        if (fault == Fault::kUnplug || fault == Fault::kUnplugIo) {
            reenumerate_ = [this] {
                unplug();
                if (options_.replugSeconds >= 0)
                    later(options_.replugSeconds, [this] {
                        running_ = false;  // powered afresh: the loader again
                        ++devnum_;
                        plug(options_.ids.before, options_.port);
                    });
            };
            if (fault == Fault::kUnplug) return -1;
            error = EPROTO;
        }
        if (setup.request == usb::kRamLoaderRequest && setup.requestType == 0x40) {
            if (!stall && setup.value == kCpucs && setup.data == std::vector<uint8_t>{0}) {
                // The CPU runs: the board drops off the bus and comes back with its firmware.
                ++devnum_;
                running_ = true;
                if (!options_.strayPort.empty())
                    add(options_.ids.after, options_.strayPort, 30, false);
                reenumerate_ = [this] {
                    unplug(options_.lingerSeconds > 0);
                    const auto back = [this] { plug(options_.ids.after, options_.returnPort); };
                    if (options_.comesBack && options_.returnSeconds > 0)
                        later(options_.returnSeconds, back);
                    else if (options_.comesBack)
                        back();
                    if (options_.lingerSeconds > 0)
                        later(options_.lingerSeconds,
                              [this, sys = "/sys/devices/" + options_.port] {
                                  umockdev_testbed_uevent(testbed_, sys.c_str(), "remove");
                                  umockdev_testbed_remove_device(testbed_, sys.c_str());
                              });
                };
                error = options_.releaseError;  // the kernel ends the URB when the board goes
            }
        } else if (!stall && !error) {
            stall = !running_ || (setup.requestType & 0x60) != 0x40 ||
                    behind_.VendorIORequest(setup.request, setup.value, setup.index, in ? 1 : 0,
                                            int16_t(setup.length), b + 8) != 0;
        }
        urb->status = fault == Fault::kTimeout ? -EINPROGRESS : stall ? -EPIPE : -error;
        urb->actual_length = stall || error ? 0 : setup.length - (fault == Fault::kShort);
        g_object_ref(urbData);
        urbs_.push_back(urbData);
        return 0;
    }

    Orvalink& behind_;
    const Options options_;
    UMockdevTestbed* testbed_ = umockdev_testbed_new();
    UMockdevIoctlBase* handler_ = umockdev_ioctl_base_new();
    mutable std::mutex mutex_;
    std::string node_;  // the device node of the board on the bus; empty when unplugged
    std::string oldNode_, sysfs_, driver_;  // before the last unplug; the board's; bound to it
    int devnum_ = 7;
    std::condition_variable_any stopped_;
    std::vector<std::jthread> later_;
    std::function<void()> reenumerate_;
    bool running_;
    std::pair<Fault, int> fault_{};  // and the transfers to let through first
    int faultTimes_ = 0;
    std::vector<SetupPacket> setups_;
    std::vector<UMockdevIoctlData*> urbs_;  // submitted, not yet reaped
};

}  // namespace quarnel::test
