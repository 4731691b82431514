// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passes every request on to a real (simulated) board and notes what went by:
// the number of requests, and which registers were read and written.

#include <cstdint>
#include <vector>

#include "link/BoardLink.h"
#include "link/Orvalink.h"

namespace quarnel::test {

class CountingBoard final : public Orvalink {
  public:
    explicit CountingBoard(Orvalink& inner) : inner_(inner) {}
    int16_t LoadFirmWare(const char* path) override { return inner_.LoadFirmWare(path); }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t* buffer) override {
        ++requests;
        if (request == kRequestRegister) {
            (direction == kDirectionIn ? reads : writes).push_back(index & 0xFF);
            if (direction == kDirectionOut) registerWriteIndexes.push_back(index);
        }
        return inner_.VendorIORequest(request, value, index, direction, length, buffer);
    }
    void clear() {
        requests = 0;
        reads.clear();
        writes.clear();
        registerWriteIndexes.clear();
    }

    int requests = 0;
    std::vector<int> reads;   // register numbers
    std::vector<int> writes;  // register numbers
    // The index of every register write (the register in its low byte, the data above).
    std::vector<int32_t> registerWriteIndexes;

  private:
    Orvalink& inner_;
};

}  // namespace quarnel::test
