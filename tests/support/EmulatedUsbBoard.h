#pragma once
// An evaluation board on an emulated USB bus, for tests of the USB board without
// hardware. umockdev shows libusb a device with the board's ids and hands every
// usbdevfs call to this class, which answers the RAM loader itself and passes
// the vendor requests to a board behind it (the simulated one).
//
//   EmulatedUsbBoard emulated(simulatedBoard, {});   // plugged in, firmware not running
//   quarnel::usb::UsbBoard board(options, clock);   // create after the emulated board
//   board.LoadFirmWare(image);                      // hold, chunks, run, re-enumeration
//   emulated.setups()                               // every setup packet, in order
//
// The process must run under umockdev's preload library (umockdev-wrapper).
// The handler runs on the testbed's thread; everything it shares is locked.

#include <glib-object.h>
#include <umockdev.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/Orvalink.h"
#include "usb/UsbIds.h"

namespace quarnel::test {

struct SetupPacket {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
    std::vector<uint8_t> data;  // OUT data
    bool operator==(const SetupPacket&) const = default;
};

class EmulatedUsbBoard {
  public:
    enum class Fault { kStall, kTimeout, kUnplug };
    struct Options {
        usb::UsbIds ids{{0x1209, 0x0001}, {0x1209, 0x0002}};
        uint16_t cpucs = 0xE600;
        bool plugged = true;
        bool firmwareRunning = false;  // plugged in with the second id
        bool busy = false;             // interface 0 claimed by another program
        bool denyOpen = false;         // device node mode 0000
        bool comesBack = true;         // re-enumerates once its CPU runs
    };

    EmulatedUsbBoard(Orvalink& behind, Options options);
    ~EmulatedUsbBoard();
    EmulatedUsbBoard(const EmulatedUsbBoard&) = delete;
    EmulatedUsbBoard& operator=(const EmulatedUsbBoard&) = delete;

    void failNext(Fault fault);
    std::vector<SetupPacket> setups() const;
    std::map<uint32_t, uint8_t> ram() const;  // every byte the RAM loader wrote
    bool firmwareRunning() const;

  private:
    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
    void handle(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void plug(usb::UsbId id);
    void unplug();

    Orvalink& behind_;
    const Options options_;
    UMockdevTestbed* testbed_;
    UMockdevIoctlBase* handler_;
    mutable std::mutex mutex_;
    std::string syspath_;
    std::string liveNode_;  // the device node of the board on the bus; empty while unplugged
    int devnum_ = 7;
    bool running_;
    std::optional<Fault> fault_;
    std::vector<SetupPacket> setups_;
    std::map<uint32_t, uint8_t> ram_;
    std::vector<UMockdevIoctlData*> reapable_;  // completed URBs, each with a reference
    std::vector<UMockdevIoctlData*> pending_;   // URBs that never complete (timeout)
};

}  // namespace quarnel::test
