#pragma once
// The file dialog that chooses the log file. Logging appends, so choosing an
// existing file asks nothing, and a name typed without extension stays so.

#include "windows/Shell.h"

namespace quarnel {

FileChooser LogFileDialog();

}  // namespace quarnel
