// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the programs find their data files: the firmware image and the help page.

#include <string>

#ifndef QUARNEL_DATA_FROM_BIN
#define QUARNEL_DATA_FROM_BIN "../share/quarnel-eval"
#endif

namespace quarnel {

// The installed data folder as seen from the installed programs' folder.
inline constexpr const char* kDataFromProgramDir = QUARNEL_DATA_FROM_BIN;

// The program's own folder when the firmware image lies beside the program (the
// build tree); else the installed data folder relative to the program, so a
// moved installation keeps working; else the program's folder, so a missing
// image is reported where it was looked for first.
// installedFromDir: the data folder as seen from programDir once installed.
std::string DataDirectory(const std::string& programDir,
                          const std::string& installedFromDir = kDataFromProgramDir);

}  // namespace quarnel
