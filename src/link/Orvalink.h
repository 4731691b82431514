// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board-link library interface: firmware download and USB vendor requests.
// Every board (the simulated one, the USB board, the test fakes)
// implements exactly these two calls with these integer widths.

#include <cstdint>

namespace quarnel {

inline constexpr int16_t kDirectionOut = 0;  // host to board
inline constexpr int16_t kDirectionIn = 1;   // board to host

class Orvalink {
  public:
    virtual ~Orvalink() = default;

    // path: zero-terminated 8-bit string. Negative status on failure.
    virtual int16_t LoadFirmWare(const char* path) = 0;

    // One synchronous vendor request; 0 on success. For IN requests the
    // buffer holds `length` bytes when the call returns.
    virtual int16_t VendorIORequest(int16_t request, int32_t value, int32_t index,
                                    int16_t direction, int16_t length, uint8_t* buffer) = 0;
};

}  // namespace quarnel
