// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecordingBoard: a scriptable fake of the board-link library for unit tests.
//
//   quarnel::test::RecordingBoard board;
//   board.registers[0x4E] = 0x41;         // what request 222 reads answer (by index low byte)
//   board.ports = {0, 0, 0x33, 0xA5, 0x07, 0x5A};  // what request 221 reads answer
//   board.auxiliaryByte = 0x12;           // what request 218 answers
//   board.failAfter(3);                   // requests 4, 5, ... return kFailStatus
//   board.failRequest(221);               // every request 221 returns kFailStatus
//   board.firmwareStatus = -1;            // what LoadFirmWare returns
//   quarnel::BoardLink link(board, clock, handler);
//   ...
//   board.calls                           // every VendorIORequest, in order
//   board.writesTo(221)                   // only the OUT requests with that code
//   board.firmwarePaths                   // every path LoadFirmWare was given
//
// Behaviour of the fake:
// - 222 IN answers registers[index & 0xFF]; 222 OUT stores (index >> 8) & 0xFF into
//   registers[index & 0xFF]. The bus (value high byte) and device address are only recorded.
// - 221 IN copies the 6-byte port image; 221 OUT with value P in 1..3 stores index's low byte
//   at ports[2*(P-1)] and its second byte at ports[2*(P-1)+1].
// - 218 IN answers auxiliaryByte. Any other request answers zeros.
// - A failing request records the call (with failed = true), changes nothing and copies no
//   data; IN buffers are left untouched then.
// - For IN requests the call records the bytes placed in the buffer (`data`); for OUT, `data`
//   stays empty.

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/Orvalink.h"

namespace quarnel::test {

struct RecordedCall {
    int16_t request = 0;
    int32_t value = 0;
    int32_t index = 0;
    int16_t direction = 0;
    int16_t length = 0;
    int16_t status = 0;
    bool failed = false;
    std::vector<uint8_t> data;  // IN: the bytes returned; OUT: empty

    int lowByteOfIndex() const { return index & 0xFF; }
    int secondByteOfIndex() const { return (index >> 8) & 0xFF; }
};

class RecordingBoard : public Orvalink {
  public:
    static constexpr int16_t kFailStatus = -1;

    std::array<uint8_t, 256> registers{};
    std::array<uint8_t, 6> ports{};
    uint8_t auxiliaryByte = 0;
    int16_t firmwareStatus = 0;

    std::vector<RecordedCall> calls;
    std::vector<std::string> firmwarePaths;

    // Every request after the first n fails (n = 0: every request fails).
    void failAfter(int n) { failAfter_ = n; }
    // Every request with this code fails.
    void failRequest(int16_t request) { failingRequests_.insert(request); }
    void stopFailing() {
        failAfter_.reset();
        failingRequests_.clear();
    }

    // The OUT requests with the given code, in order.
    std::vector<RecordedCall> writesTo(int16_t request) const {
        std::vector<RecordedCall> out;
        for (const auto& c : calls)
            if (c.request == request && c.direction == kDirectionOut) out.push_back(c);
        return out;
    }
    // All calls with the given code, in order.
    std::vector<RecordedCall> callsTo(int16_t request) const {
        std::vector<RecordedCall> out;
        for (const auto& c : calls)
            if (c.request == request) out.push_back(c);
        return out;
    }
    void clear() { calls.clear(); }

    int16_t LoadFirmWare(const char* path) override {
        firmwarePaths.emplace_back(path ? path : "");
        return firmwareStatus;
    }

    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override {
        RecordedCall call{request, value, index, direction, length, 0, false, {}};
        const bool fail =
            (failAfter_ && requestCount_ >= *failAfter_) || failingRequests_.count(request) != 0;
        ++requestCount_;
        if (fail) {
            call.status = kFailStatus;
            call.failed = true;
            calls.push_back(call);
            return kFailStatus;
        }
        if (direction == kDirectionIn) {
            std::vector<uint8_t> reply(length > 0 ? static_cast<size_t>(length) : 0, 0);
            if (request == 222 && !reply.empty()) {
                reply[0] = registers[index & 0xFF];
            } else if (request == 221) {
                for (size_t i = 0; i < reply.size() && i < ports.size(); ++i) reply[i] = ports[i];
            } else if (request == 218 && !reply.empty()) {
                reply[0] = auxiliaryByte;
            }
            for (size_t i = 0; i < reply.size(); ++i) buffer[i] = reply[i];
            call.data = reply;
        } else {
            if (request == 222) {
                registers[index & 0xFF] = static_cast<uint8_t>((index >> 8) & 0xFF);
            } else if (request == 221 && value >= 1 && value <= 3) {
                ports[2 * (value - 1)] = static_cast<uint8_t>(index & 0xFF);
                ports[2 * (value - 1) + 1] = static_cast<uint8_t>((index >> 8) & 0xFF);
            }
        }
        calls.push_back(call);
        return 0;
    }

  private:
    std::optional<int> failAfter_;
    std::set<int16_t> failingRequests_;
    int requestCount_ = 0;
};

}  // namespace quarnel::test
