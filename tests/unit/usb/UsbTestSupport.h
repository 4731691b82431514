#pragma once
// A USB board on an emulated board with the simulated board behind it, and an
// image whose data spans more than one download chunk.

#include <cstdio>
#include <memory>

#include "support/EmulatedUsbBoard.h"
#include "unit/sim/SimTestSupport.h"
#include "usb/UsbBoard.h"

namespace quarnel::usb::test {

using quarnel::test::EmulatedUsbBoard;
using quarnel::test::SetupPacket;

inline std::string hexRecord(uint16_t address, uint8_t type, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> r{uint8_t(bytes.size()), uint8_t(address >> 8), uint8_t(address), type};
    r.insert(r.end(), bytes.begin(), bytes.end());
    int sum = 0;
    for (uint8_t b : r) sum += b;
    r.push_back(uint8_t(-sum));
    std::string line = ":";
    char digits[3];
    for (uint8_t b : r) line += (std::snprintf(digits, sizeof digits, "%02X", b), digits);
    return line + "\n";
}

class UsbTest : public sim::test::SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        auto o = options();
        o.requireFirmware = false;  // the emulated board runs no firmware until downloaded
        simulated = std::make_unique<sim::SimulatedBoard>(o, clock);
        // 1104 bytes from 0000h in 16-byte records, and 3 bytes at 3000h.
        std::string hex;
        for (int a = 0; a < 1104; a += 16) {
            std::vector<uint8_t> bytes;
            for (int i = 0; i < 16; ++i) bytes.push_back(uint8_t(a + i * 7));
            hex += hexRecord(uint16_t(a), 0, bytes);
        }
        image = (dir / "image.hex").string();
        sim::test::writeFile(image, hex + hexRecord(0x3000, 0, {1, 2, 3}) + ":00000001FF\n");
    }
    void TearDown() override {
        board.reset();  // closes its handle while the emulated board still answers
        emulated.reset();
        SimTest::TearDown();
    }
    void plugIn(EmulatedUsbBoard::Options o = {}) {
        board.reset();  // one testbed at a time
        emulated.reset();
        emulated = std::make_unique<EmulatedUsbBoard>(*simulated, o);
        UsbOptions u;
        u.ids = o.ids;
        u.transferTimeoutMs = 50;
        u.diagnostic = [this](const std::string& line) { diagnostics.push_back(line); };
        board = std::make_unique<UsbBoard>(u, usbClock);
    }

    std::unique_ptr<sim::SimulatedBoard> simulated;
    std::unique_ptr<EmulatedUsbBoard> emulated;
    std::unique_ptr<UsbBoard> board;
    ManualClock usbClock;  // the re-enumeration wait
    std::vector<std::string> diagnostics;
    std::string image;
};

}  // namespace quarnel::usb::test
