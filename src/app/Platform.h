// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's real seams: message boxes, the desktop's browser, the file
// dialog, and leaving the process. Tests inject their own.

#include <optional>
#include <string>

#include "device/DeviceState.h"
#include "windows/WindowHost.h"

namespace quarnel {

// A QMessageBox titled with the application title, OK only.
class QtNotifier final : public Notifier {
  public:
    void message(const std::string& text, Icon icon) override { detailedMessage(text, icon, {}); }
    // The details go under the box's Show Details button.
    void detailedMessage(const std::string& text, Icon icon, const std::string& details) override;
};

// QDesktopServices::openUrl: the desktop's handler, no shell in between.
UrlOpener DesktopUrlOpener();

// A save dialog that does not warn about existing files (logs are appended to).
FileChooser DialogFileChooser();

// Whether Qt can find a display: a platform that needs none is named in
// QT_QPA_PLATFORM, or DISPLAY or WAYLAND_DISPLAY is set (empty counts as unset).
bool DisplayAvailable(const char* qpaPlatform, const char* display, const char* waylandDisplay);

// Register settings: a save dialog that adds ".json" and asks before replacing a
// file, and an open dialog for existing files.
FileChooser ProfileSaveChooser();
FileChooser ProfileOpenChooser();

// Why the per-user settings file must not be opened (a FIFO would hang every
// QSettings, a folder or device is no settings file), or nullopt.
std::optional<std::string> SettingsFileProblem();

// Flushes the C streams and leaves at once: no further event or timer tick.
[[noreturn]] void EndProcessNow(int status);

}  // namespace quarnel
