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
// LoadFirmWare checks the image against the board's RAM, picks the one board with
// either id (on the port given, if one is), holds the CPU (0x01 to CPUCS), writes the
// data records through the RAM-loader request, lets the CPU run (0x00 to CPUCS), then
// waits for the board to leave the bus and for a device with its second id that was
// not there before, and claims interface 0 of it. When the board shows its second id,
// or a board with one id answers the auxiliary request (a loader stalls it), the
// firmware already runs: no download, unless `reload` asks for one.
// Every failure returns one of the statuses below and keeps one line naming the
// cause and the remedy (takeFailure): a caller tells it when the failure ends
// something, so a failed request the caller ignores is not reported.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/Clock.h"
#include "link/Orvalink.h"
#include "link/TracingBoard.h"
#include "usb/RamRanges.h"
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
inline constexpr int16_t kSeveralBoards = -23;         // more than one board, no port chosen
inline constexpr int16_t kWaitCancelled = -24;  // a stop request ended the wait; no diagnostic

inline constexpr uint8_t kRamLoaderRequest = 0xA0;
inline constexpr int kMaxChunkBytes = 1023;

struct UsbOptions {
    UsbIds ids{};                    // before and after the firmware runs
    uint16_t cpucsAddress = 0xE600;  // the CPU control/status register
    std::string port{};              // "1-2.3": only the board there; empty: the only board
    std::string serial{};            // only the board reporting this serial number
    bool reload = false;             // download even when the firmware runs
    std::vector<RamRange> ram = parseRamRanges(kDefaultRamRanges);  // where the image may go
    double reenumerationSeconds = 10.0;
    unsigned transferTimeoutMs = 1000;
    DiagnosticSink diagnostic{};  // what is told at once (a long wait, a board that moved);
                                  // empty: "quarnel usb: ..." on stderr
    DiagnosticSink note{};        // every failure as it happens (the request trace)
};

// Where the open board sits, for `info` texts.
struct UsbLocation {
    int bus = 0;
    int device = 0;
    std::string port{};    // sysfs port path, "1-2.3"
    std::string serial{};  // empty: the board reports none
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

    // The wait for the board to come back sleeps on this clock and ends when stop says
    // so (Ctrl+C): LoadFirmWare then returns kWaitCancelled. Default: the constructor's
    // clock, no stop.
    void waitWith(Clock& clock, std::function<bool()> stop);

    // The board in use once LoadFirmWare succeeded.
    std::optional<UsbLocation> location() const;
    const UsbOptions& options() const { return options_; }
    // The status of the last failure, 0 before any.
    int16_t lastFailure() const { return lastFailure_; }
    // The line of the last failure not yet taken ("" when none): cleared by a request
    // that succeeds, so it is always the failure that just happened.
    std::string takeFailure() { return std::exchange(held_, {}); }

  private:
    struct Usb;
    struct Chunk {
        uint16_t address = 0;
        std::vector<uint8_t> bytes;
    };
    int16_t fail(int16_t status, const std::string& diagnostic) const;
    void tell(const std::string& line) const;
    bool firmwareAnswers();
    int16_t readImage(const std::string& file, std::vector<Chunk>& chunks) const;
    int16_t open(libusb_device* device);
    int16_t openFailed(int r, const std::string& node, const std::string& port, bool unconfigured,
                       bool driverBound) const;
    int16_t transfer(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                     uint16_t length);
    int16_t transferFailed(int r, const std::string& what, bool answeredBefore);
    int16_t download(std::vector<Chunk>& chunks);
    int16_t awaitReturn(const UsbLocation& old, const std::vector<std::string>& before);
    void rescanWhenStale(const std::vector<std::string>& listed);
    bool stillListed();

    UsbOptions options_;
    Clock* clock_;
    std::function<bool()> stop_;
    std::unique_ptr<Usb> usb_;
    mutable int16_t lastFailure_ = 0;
    mutable std::string held_;
    std::string lastPort_;            // where the board was last opened, for its return
    std::vector<int> answered_;       // requests the board has answered
    std::vector<std::string> sysfs_;  // sysfs' devices at the last rescan
};

}  // namespace quarnel::usb
