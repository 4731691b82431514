// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real evaluation board over USB (libusb-1.0): the board-link library's two
// calls on a USB microcontroller with a RAM loader.
//
//   quarnel::usb::UsbOptions options;
//   options.ids = quarnel::usb::parseUsbIds("1209:0001/1209:0002");
//   options.diagnostic = [](const std::string& line) { ... };  // stderr and the trace
//   quarnel::usb::UsbBoard board(options, clock);
//   board.LoadFirmWare(".../QUARNELFW.Hex");   // downloads, waits for the board to come back
//
// LoadFirmWare checks the image, holds the CPU (0x01 to CPUCS), writes the data
// records through the RAM-loader request, lets the CPU run (0x00 to CPUCS), then
// waits for the board to re-enumerate with its second id and claims interface 0.
// When only the second id is present the firmware already runs: no download.
// Every failure returns one of the statuses below and sends one diagnostic line
// naming the cause and the remedy.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "link/Orvalink.h"
#include "link/TracingBoard.h"
#include "usb/UsbIds.h"

struct libusb_device;

namespace quarnel::usb {

inline constexpr int16_t kNoBoard = -11;               // no device with either id
inline constexpr int16_t kNoPermission = -12;          // the device node cannot be opened
inline constexpr int16_t kBoardInUse = -13;            // interface 0 is claimed elsewhere
inline constexpr int16_t kFirmwareInvalid = -14;       // image missing, unreadable or malformed
inline constexpr int16_t kReenumerationTimeout = -15;  // the second id never appeared
inline constexpr int16_t kTransferStalled = -16;       // the board refused the request
inline constexpr int16_t kTransferTimedOut = -17;      // the board did not answer in time
inline constexpr int16_t kBoardGone = -18;             // unplugged
inline constexpr int16_t kShortTransfer = -19;         // fewer bytes than asked moved
inline constexpr int16_t kBadRequest = -20;            // arguments out of range; nothing sent
inline constexpr int16_t kNotOpen = -21;               // no board open (firmware not loaded)
inline constexpr int16_t kUsbError = -22;              // any other USB failure

inline constexpr uint8_t kRamLoaderRequest = 0xA0;
inline constexpr int kMaxChunkBytes = 1023;

struct UsbOptions {
    UsbIds ids;                      // before and after the firmware runs
    uint16_t cpucsAddress = 0xE600;  // the CPU control/status register
    double reenumerationSeconds = 5.0;
    unsigned transferTimeoutMs = 1000;
    DiagnosticSink diagnostic;  // empty: "quarnel usb: ..." on stderr
};

// Where the open board sits, for `info` texts.
struct UsbLocation {
    int bus = 0;
    int device = 0;
};

class UsbBoard final : public Orvalink {
  public:
    UsbBoard(UsbOptions options, Clock& clock);
    ~UsbBoard() override;
    UsbBoard(const UsbBoard&) = delete;
    UsbBoard& operator=(const UsbBoard&) = delete;

    int16_t LoadFirmWare(const char* path) override;
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override;

    // The board in use once LoadFirmWare succeeded.
    std::optional<UsbLocation> location() const;
    const UsbOptions& options() const { return options_; }

  private:
    struct Usb;
    struct Chunk {
        uint16_t address = 0;
        std::vector<uint8_t> bytes;
    };
    int16_t fail(int16_t status, const std::string& diagnostic) const;
    int16_t readImage(const std::string& file, std::vector<Chunk>& chunks) const;
    int16_t open(libusb_device* device);
    int16_t transfer(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                     uint16_t length);
    int16_t download(std::vector<Chunk>& chunks);

    UsbOptions options_;
    Clock& clock_;
    std::unique_ptr<Usb> usb_;
};

}  // namespace quarnel::usb
