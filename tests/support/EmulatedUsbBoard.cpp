#include "support/EmulatedUsbBoard.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "usb/UsbBoard.h"
#include "usb/UsbDevices.h"

namespace quarnel::test {

EmulatedUsbBoard::EmulatedUsbBoard(Orvalink& behind, Options options)
    : behind_(behind), options_(options), running_(options.firmwareRunning) {
    const char* preload = std::getenv("LD_PRELOAD");
    // Without it libusb would see the machine's real devices.
    if (!preload || !std::strstr(preload, "libumockdev-preload"))
        throw std::runtime_error("USB tests must run under umockdev-wrapper");
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
    // A user other than root must reach the device node to meet its mode.
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    chmod(root, 0755);
    g_free(root);
    if (options_.plugged) plug(running_ ? options_.ids.after : options_.ids.before);
}

EmulatedUsbBoard::~EmulatedUsbBoard() {
    for (auto* urb : reapable_) g_object_unref(urb);
    for (auto* urb : pending_) g_object_unref(urb);
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

void EmulatedUsbBoard::plug(usb::UsbId id) {
    liveNode_ = usb::deviceNode(1, devnum_);
    char vendor[8], product[8], devnum[8];
    std::snprintf(vendor, sizeof vendor, "%04x", id.vendor);
    std::snprintf(product, sizeof product, "%04x", id.product);
    std::snprintf(devnum, sizeof devnum, "%d", devnum_);
    const gchar* attributes[] = {"idVendor",
                                 vendor,
                                 "idProduct",
                                 product,
                                 "busnum",
                                 "1",
                                 "devnum",
                                 devnum,
                                 "bConfigurationValue",
                                 "1",
                                 "manufacturer",
                                 "Quarnel test",
                                 "product",
                                 "Emulated evaluation board",
                                 nullptr};
    const gchar* properties[] = {"DEVTYPE", "usb_device", "DEVNAME", liveNode_.c_str(), nullptr};
    gchar* path = umockdev_testbed_add_devicev(testbed_, "usb", "1-1", nullptr,
                                               const_cast<gchar**>(attributes),
                                               const_cast<gchar**>(properties));
    syspath_ = path;
    g_free(path);
    // Device, configuration and interface descriptor: vendor class, no endpoints.
    uint8_t descriptors[] = {18,
                             1,
                             0x00,
                             0x02,
                             0xFF,
                             0,
                             0,
                             64,
                             uint8_t(id.vendor),
                             uint8_t(id.vendor >> 8),
                             uint8_t(id.product),
                             uint8_t(id.product >> 8),
                             0,
                             1,
                             1,
                             2,
                             0,
                             1,
                             9,
                             2,
                             18,
                             0,
                             1,
                             1,
                             0,
                             0x80,
                             50,
                             9,
                             4,
                             0,
                             0,
                             0,
                             0xFF,
                             0,
                             0,
                             0};
    umockdev_testbed_set_attribute_binary(testbed_, syspath_.c_str(), "descriptors", descriptors,
                                          sizeof descriptors);
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string node = root + liveNode_;
    const std::string socket = root + ("/ioctl" + liveNode_);
    g_free(root);
    std::filesystem::create_directories(std::filesystem::path(node).parent_path());
    std::ofstream{node};
    umockdev_testbed_attach_ioctl(testbed_, liveNode_.c_str(), handler_, nullptr);
    if (options_.denyOpen) {
        chmod(node.c_str(), 0);
        // The preload library connects to the handler even when the open failed.
        chmod(socket.c_str(), 0777);
    }
    // umockdev sends no uevent of its own, and libusb learns of boards only from them.
    umockdev_testbed_uevent(testbed_, syspath_.c_str(), "add");
}

void EmulatedUsbBoard::unplug() {
    umockdev_testbed_uevent(testbed_, syspath_.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, syspath_.c_str());
    liveNode_.clear();
}

gboolean EmulatedUsbBoard::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<EmulatedUsbBoard*>(self)->handle(client);
    return TRUE;
}

void EmulatedUsbBoard::handle(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (liveNode_ != umockdev_ioctl_client_get_devnode(client))
        return umockdev_ioctl_client_complete(client, -1, ENODEV);
    switch (request) {
        case USBDEVFS_CLAIMINTERFACE:
            return umockdev_ioctl_client_complete(client, options_.busy ? -1 : 0, EBUSY);
        case USBDEVFS_RELEASEINTERFACE:
            return umockdev_ioctl_client_complete(client, 0, 0);
        case USBDEVFS_SUBMITURB:
            return submit(client, arg);
        case USBDEVFS_REAPURBNDELAY: {
            if (reapable_.empty()) return umockdev_ioctl_client_complete(client, -1, EAGAIN);
            UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
            umockdev_ioctl_data_set_ptr(target, 0, reapable_.front());
            g_object_unref(reapable_.front());
            reapable_.erase(reapable_.begin());
            return umockdev_ioctl_client_complete(client, 0, 0);
        }
        case USBDEVFS_DISCARDURB: {
            // A discarded URB is reaped with -ENOENT, as the kernel does.
            const auto address = *reinterpret_cast<gulong*>(arg->data);
            auto it = std::find_if(pending_.begin(), pending_.end(),
                                   [&](auto* urb) { return urb->client_addr == address; });
            if (it == pending_.end()) return umockdev_ioctl_client_complete(client, -1, EINVAL);
            reinterpret_cast<usbdevfs_urb*>((*it)->data)->status = -ENOENT;
            reapable_.push_back(*it);
            pending_.erase(it);
            return umockdev_ioctl_client_complete(client, 0, 0);
        }
        default:
            return umockdev_ioctl_client_complete(client, -1, ENOTTY);
    }
}

void EmulatedUsbBoard::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    uint8_t* b = buffer->data;
    SetupPacket setup{b[0],
                      b[1],
                      uint16_t(b[2] | b[3] << 8),
                      uint16_t(b[4] | b[5] << 8),
                      uint16_t(b[6] | b[7] << 8),
                      {}};
    const bool in = (setup.requestType & 0x80) != 0;
    if (!in) setup.data.assign(b + 8, b + 8 + setup.length);
    setups_.push_back(setup);
    const auto fault = std::exchange(fault_, std::nullopt);
    if (fault == Fault::kUnplug) {
        unplug();
        return umockdev_ioctl_client_complete(client, -1, ENODEV);
    }
    g_object_ref(urbData);
    if (fault == Fault::kTimeout) {
        pending_.push_back(urbData);
        return umockdev_ioctl_client_complete(client, 0, 0);
    }
    bool stall = fault == Fault::kStall;
    if (!stall && setup.request == usb::kRamLoaderRequest && setup.requestType == 0x40) {
        if (setup.value == options_.cpucs && setup.length == 1 && setup.data[0] == 0x00) {
            // The CPU runs: the board drops off the bus and comes back with its firmware.
            g_object_unref(urbData);
            unplug();
            ++devnum_;
            if (options_.comesBack) plug(options_.ids.after);
            running_ = true;
            return umockdev_ioctl_client_complete(client, -1, ENODEV);
        }
        if (setup.value != options_.cpucs)
            for (uint16_t i = 0; i < setup.length; ++i) ram_[setup.value + i] = setup.data[i];
    } else if (!stall) {
        stall = !running_ || (setup.requestType & 0x60) != 0x40 ||
                behind_.VendorIORequest(setup.request, setup.value, setup.index, in ? 1 : 0,
                                        static_cast<int16_t>(setup.length), b + 8) != 0;
    }
    urb->status = stall ? -EPIPE : 0;
    urb->actual_length = stall ? 0 : setup.length;
    reapable_.push_back(urbData);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedUsbBoard::failNext(Fault fault) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
}

std::vector<SetupPacket> EmulatedUsbBoard::setups() const {
    std::lock_guard lock(mutex_);
    return setups_;
}

std::map<uint32_t, uint8_t> EmulatedUsbBoard::ram() const {
    std::lock_guard lock(mutex_);
    return ram_;
}

bool EmulatedUsbBoard::firmwareRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

}  // namespace quarnel::test
