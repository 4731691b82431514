// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Creates the tool windows the main window hosts. Each window plugs in with
// one line in WindowFactory.cpp and hands over the side the main window
// refreshes.

#include <QString>
#include <QWidget>
#include <functional>

#include "monitor/Session.h"
#include "windows/WindowHost.h"

namespace quarnel {

// Everything a tool window may be given.
struct WindowContext {
    Session& session;  // board link, device model, readings, flags, clock, notifier
    WindowHost& host;  // the main window
    UrlOpener openUrl;
    FileChooser chooseFile;
    QString applicationDir;
};

// A new, parentless widget for the window and its refresh side (which may be
// null for a window nothing refreshes), or no widget at all.
struct CreatedWindow {
    QWidget* widget = nullptr;
    ToolView* view = nullptr;
};

using WindowFactory = std::function<CreatedWindow(ToolWindow which, const WindowContext& context)>;

CreatedWindow CreateToolWindow(ToolWindow which, const WindowContext& context);

}  // namespace quarnel
