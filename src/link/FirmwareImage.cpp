// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FirmwareImage.h"

#include "link/SafeFile.h"

namespace quarnel {

FirmwareImage ReadFirmwareImage(const std::string& path) {
    FirmwareImage image;
    const std::string name = "firmware image " + path;
    // Never more than the bound plus one byte: a huge or endless file costs no more.
    FileRead file = ReadRegularFile(path, kMaxFirmwareImageBytes);
    switch (file.kind) {
        case FileRead::kMissing:
        case FileRead::kFailed:
            image.error = name + " cannot be read: " + file.error;
            return image;
        case FileRead::kNotRegular:
            image.error = name + " " + file.error;
            return image;
        case FileRead::kRead:
            break;
    }
    image.status = FirmwareImage::kMalformed;
    if (file.text.size() > kMaxFirmwareImageBytes) {
        image.error = name + " is too large for the board (over 1 MiB)";
        return image;
    }
    image.check = checkIntelHex(file.text);
    if (!image.check.ok) {
        image.error = name + " is not a valid Intel HEX image: " + image.check.error;
        return image;
    }
    image.status = FirmwareImage::kOk;
    return image;
}

}  // namespace quarnel
