// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Creates the tool windows the main window hosts. Each window plugs in with
// one line in WindowFactory.cpp; it hears the board through the feed itself.

#include <QString>
#include <QWidget>
#include <functional>

#include "device/DeviceState.h"
#include "device/RegisterTable.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

namespace quarnel {

// Everything a tool window may be given.
struct WindowContext {
    BoardFeed& feed;  // the board's latest state and the way to command it; the GUI's flags
    Notifier& notifier;
    const RegisterTable& table;
    WindowHost& host;  // the main window
    UrlOpener openUrl;
    FileChooser chooseFile;
    QString applicationDir;
};

// A new, parentless widget for the window, or no widget at all.
struct CreatedWindow {
    QWidget* widget = nullptr;
};

using WindowFactory = std::function<CreatedWindow(ToolWindow which, const WindowContext& context)>;

CreatedWindow CreateToolWindow(ToolWindow which, const WindowContext& context);

}  // namespace quarnel
