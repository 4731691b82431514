// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What is on the USB buses, as `quarnelctl usb list` shows it.

#include <string>
#include <vector>

#include "usb/UsbIds.h"

namespace quarnel::usb {

struct UsbDeviceInfo {
    int bus = 0;
    int device = 0;
    UsbId id;
    std::string maker;    // empty where the system does not say
    std::string product;  // empty where the system does not say
};

// Every USB device the system shows, in bus and device order. The maker and
// product strings come from sysfs, so listing needs no permission to open a device.
// On failure the list is empty and error says why.
std::vector<UsbDeviceInfo> listUsbDevices(std::string& error);

// "Bus 001 Device 007: ID 1209:0001 maker product", like lsusb.
std::string describe(const UsbDeviceInfo& device);

// "/dev/bus/usb/001/007"
std::string deviceNode(int bus, int device);

}  // namespace quarnel::usb
