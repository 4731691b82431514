// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's identity and its per-user settings store, in one place.
// The store is named by the application title with no application name, so
// the file is $XDG_CONFIG_HOME/QUARNEL Evaluation Software.conf.

#include <QFileInfo>
#include <QSettings>
#include <QString>

#include "QuarnelVersion.h"

namespace quarnel {

inline constexpr const char* kAppTitle = "QUARNEL Evaluation Software";
// SPDX identifier; LICENSE holds the text.
inline constexpr const char* kAppLicense = "GPL-3.0-or-later";

namespace keys {
inline constexpr const char* kGroup = "Settings";
inline constexpr const char* kMainLeft = "MainLeft";  // twips, as single-precision text
inline constexpr const char* kMainTop = "MainTop";
inline constexpr const char* kMainWidth = "MainWidth";
inline constexpr const char* kMainHeight = "MainHeight";
inline constexpr const char* kDisplayHelp = "DisplayHelp";  // "True" or "False"
// The folder of the log last saved or opened: where both log dialogs start.
inline constexpr const char* kLogFolder = "LogFolder";

// The board quarnel-eval uses when no option chooses it; the user sets these.
inline constexpr const char* kBoardGroup = "Board";
inline constexpr const char* kUsb = "Usb";              // VID:PID[/VID2:PID2]: the USB board
inline constexpr const char* kUsbCpucs = "UsbCpucs";    // hex, default E600
inline constexpr const char* kFirmware = "Firmware";    // the firmware image's path
inline constexpr const char* kUsbPort = "UsbPort";      // "1-2.3": which of several boards
inline constexpr const char* kUsbWait = "UsbWait";      // seconds, default 10
inline constexpr const char* kUsbRam = "UsbRam";        // hex ranges, "0000-3FFF,E000-E1FF"
inline constexpr const char* kUsbSerial = "UsbSerial";  // the serial number usb list shows
// "1" (or "true"): a lost board is waited for instead of ending the program.
inline constexpr const char* kReconnect = "Reconnect";
}  // namespace keys

// Opened on a group ("Settings" unless told); written back when it goes out of scope.
class AppSettings : public QSettings {
  public:
    explicit AppSettings(const char* group = keys::kGroup)
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kAppTitle),
                    QString()) {
        beginGroup(QString::fromLatin1(group));
    }
};

// Where a log dialog starts: the folder of the log last saved or opened while
// it is still there, else fallback.
inline QString LogFolder(const QString& fallback) {
    const QString folder = AppSettings().value(QString::fromLatin1(keys::kLogFolder)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

inline void RememberLogFolder(const QString& logFile) {
    AppSettings().setValue(QString::fromLatin1(keys::kLogFolder),
                           QFileInfo(logFile).absolutePath());
}

}  // namespace quarnel
