#pragma once
// The program's real seams: message boxes, the desktop's browser, the file
// dialog, and leaving the process. Tests inject their own.

#include "device/DeviceState.h"
#include "windows/Shell.h"

namespace quarnel {

// A QMessageBox titled with the application title, OK only.
class QtNotifier final : public Notifier {
  public:
    void message(const std::string& text, Icon icon) override;
};

// QDesktopServices::openUrl: the desktop's handler, no shell in between.
UrlOpener DesktopUrlOpener();

// A save dialog that does not warn about existing files (logs are appended to).
FileChooser DialogFileChooser();

// Register settings: a save dialog that adds ".json" and asks before replacing a
// file, and an open dialog for existing files.
FileChooser ProfileSaveChooser();
FileChooser ProfileOpenChooser();

// Flushes the C streams and leaves at once: no further event or timer tick.
[[noreturn]] void EndProcessNow(int status);

}  // namespace quarnel
