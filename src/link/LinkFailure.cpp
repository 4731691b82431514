// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkFailure.h"

namespace quarnel {

std::string LinkFailureMessage(int code) {
    switch (code) {
        case kFirmwareFailed:
            return "Firmware failed to download - Check USB connections";
        case kConnectionFailed:
            return "Initial Connection Failed - If the device has previously \r\n"
                   "been set up for SPI communications then \r\n"
                   "disconnect and re-connect the board";
        case kCommsInterrupted:
            return "Communications Interrupted - Check USB connections";
        default:
            return "Board link failure " + std::to_string(code);
    }
}

}  // namespace quarnel
