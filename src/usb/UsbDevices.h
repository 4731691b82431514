// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What is on the USB buses, as `quarnelctl usb list` shows it.

#include <string>
#include <vector>

#include "usb/UsbIds.h"

struct libusb_device;

namespace quarnel::usb {

struct UsbDeviceInfo {
    int bus = 0;
    int device = 0;
    UsbId id;
    std::string maker;    // empty where the system does not say
    std::string product;  // empty where the system does not say
    std::string port;     // "1-2.3"; empty for a root hub
    std::string serial;   // the serial number the device reports; empty: none
};

// Every USB device the system shows, in bus and device order. The maker and
// product strings come from sysfs, so listing needs no permission to open a device.
// On failure the list is empty and error says why.
std::vector<UsbDeviceInfo> listUsbDevices(std::string& error);

// "Bus 001 Device 007: ID 1209:0001 maker product (port 1-2, serial Q123)", like lsusb
// with the port.
std::string describe(const UsbDeviceInfo& device);
// "1209:0001 on port 1-2 (bus 001 device 007)"
std::string whereIs(const UsbDeviceInfo& device);

// A board with either id, on the port given (any port when it is empty), with the
// serial number given (any when it is empty; a board that reports none may be a loader
// whose firmware will report it).
bool isCandidate(const UsbDeviceInfo& device, const UsbIds& ids, const std::string& port,
                 const std::string& serial = {});

// "/dev/bus/usb/001/007"
std::string deviceNode(int bus, int device);

// The device's port path as sysfs names it ("1-2.3"), empty for a root hub.
std::string portPath(libusb_device* device);
// Bus, device, ids, port and serial of a device libusb lists; false when it has no
// descriptor.
bool deviceInfo(libusb_device* device, UsbDeviceInfo& info);

// From sysfs, without opening the device: the kernel driver bound to interface 0
// (empty: none), and whether the device has a configuration set.
std::string kernelDriver(const std::string& port);
bool configured(const std::string& port);

// "bus.device" of every device sysfs shows. libusb's list changes only on udev events,
// which a container or VM may not get; sysfs always shows what is on the bus.
std::vector<std::string> sysfsDeviceKeys();

}  // namespace quarnel::usb
