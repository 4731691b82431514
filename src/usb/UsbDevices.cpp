// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/UsbDevices.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quarnel::usb {
namespace {

std::string sysfsAttribute(const std::string& port, const char* name) {
    std::ifstream in("/sys/bus/usb/devices/" + port + "/" + name);
    std::string value;
    std::getline(in, value);
    return value;
}

}  // namespace

// sysfs names a device by its bus and the ports on the way to it ("1-4.2").
std::string portPath(libusb_device* device) {
    uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0) return "";
    std::string path = std::to_string(libusb_get_bus_number(device));
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about
    // prepending to a temporary string at -O3.
    for (int i = 0; i < depth; ++i) {
        path += i == 0 ? '-' : '.';
        path += std::to_string(ports[i]);
    }
    return path;
}

bool deviceInfo(libusb_device* device, UsbDeviceInfo& info) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) return false;
    info.bus = libusb_get_bus_number(device);
    info.device = libusb_get_device_address(device);
    info.id = {descriptor.idVendor, descriptor.idProduct};
    info.port = portPath(device);
    if (!info.port.empty()) info.serial = sysfsAttribute(info.port, "serial");
    return true;
}

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
        UsbDeviceInfo info;
        if (!deviceInfo(list[i], info)) continue;
        // A root hub's folder is "usb1".
        std::string folder = info.port;
        if (folder.empty()) {
            folder = "usb";
            folder += std::to_string(info.bus);
        }
        info.maker = sysfsAttribute(folder, "manufacturer");
        info.product = sysfsAttribute(folder, "product");
        result.push_back(info);
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
    if (!device.port.empty())
        line += " (port " + device.port +
                (device.serial.empty() ? "" : ", serial " + device.serial) + ")";
    return line;
}

std::string whereIs(const UsbDeviceInfo& device) {
    char where[48];
    std::snprintf(where, sizeof where, " (bus %03d device %03d)", device.bus, device.device);
    return formatUsbId(device.id) + " on port " + device.port + where;
}

std::string deviceNode(int bus, int device) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", bus, device);
    return node;
}

bool isCandidate(const UsbDeviceInfo& device, const UsbIds& ids, const std::string& port,
                 const std::string& serial) {
    return (device.id == ids.before || device.id == ids.after) &&
           (port.empty() || device.port == port) &&
           (serial.empty() || device.serial == serial || device.serial.empty());
}

std::string kernelDriver(const std::string& port) {
    // Appended piece by piece, as in portPath.
    const std::string config = sysfsAttribute(port, "bConfigurationValue");
    std::string path = "/sys/bus/usb/devices/";
    path += port;
    path += '/';
    path += port;
    path += ':';
    if (config.empty())
        path += '1';
    else
        path += config;
    path += ".0/driver";
    std::error_code ec;
    const auto link = std::filesystem::read_symlink(path, ec);
    return ec ? "" : link.filename().string();
}

bool configured(const std::string& port) {
    return !sysfsAttribute(port, "bConfigurationValue").empty();
}

std::vector<std::string> sysfsDeviceKeys() {
    std::vector<std::string> keys;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/usb/devices", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(':') != std::string::npos) continue;  // an interface
        const std::string bus = sysfsAttribute(name, "busnum"),
                          dev = sysfsAttribute(name, "devnum");
        if (!bus.empty() && !dev.empty()) keys.push_back(bus + "." + dev);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace quarnel::usb
