// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbDevices.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace quarnel::usb {
namespace {

// sysfs names a device by its bus and the ports on the way to it ("1-4.2"), a
// root hub by its bus alone ("usb1").
std::string sysfsAttribute(libusb_device* device, const char* name) {
    uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    const std::string bus = std::to_string(libusb_get_bus_number(device));
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about
    // prepending to a temporary string at -O3.
    std::string path = "/sys/bus/usb/devices/";
    if (depth <= 0) path += "usb";
    path += bus;
    for (int i = 0; i < depth; ++i) {
        path += i == 0 ? '-' : '.';
        path += std::to_string(ports[i]);
    }
    std::ifstream in(path + "/" + name);
    std::string value;
    std::getline(in, value);
    return value;
}

}  // namespace

std::vector<UsbDeviceInfo> listUsbDevices(std::string& error) {
    std::vector<UsbDeviceInfo> result;
    libusb_context* context = nullptr;
    if (const int r = libusb_init(&context); r != 0) {
        error = std::string("USB is not available: ") + libusb_strerror(r);
        return result;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) error = std::string("cannot list USB devices: ") + libusb_strerror(count);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        result.push_back({libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]),
                          UsbId{descriptor.idVendor, descriptor.idProduct},
                          sysfsAttribute(list[i], "manufacturer"),
                          sysfsAttribute(list[i], "product")});
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    libusb_exit(context);
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.device < b.device;
    });
    return result;
}

std::string describe(const UsbDeviceInfo& device) {
    char head[64];
    std::snprintf(head, sizeof head, "Bus %03d Device %03d: ID %s", device.bus, device.device,
                  formatUsbId(device.id).c_str());
    std::string line = head;
    for (const std::string* text : {&device.maker, &device.product})
        if (!text->empty()) line += " " + *text;
    return line;
}

std::string deviceNode(int bus, int device) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, device);
    return node;
}

}  // namespace quarnel::usb
