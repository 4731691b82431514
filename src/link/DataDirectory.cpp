// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/DataDirectory.h"

#include <filesystem>

#include "link/BoardLink.h"

namespace quarnel {

std::string DataDirectory(const std::string& programDir, const std::string& installedFromDir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(programDir) / kFirmwareFileName, ec)) return programDir;
    const fs::path installed = (fs::path(programDir) / installedFromDir).lexically_normal();
    if (fs::exists(installed / kFirmwareFileName, ec)) return installed.string();
    return programDir;
}

}  // namespace quarnel
