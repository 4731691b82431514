#pragma once
// Creates the tool windows the main window hosts. Each window plugs in with
// one line in WindowFactory.cpp.

#include <QString>
#include <QWidget>
#include <functional>

#include "monitor/Session.h"
#include "windows/Shell.h"

namespace quarnel {

// Everything a tool window may be given.
struct WindowContext {
    Session& session;  // board link, device model, readings, flags, clock, notifier
    Shell& shell;      // the main window
    UrlOpener openUrl;
    FileChooser chooseFile;
    QString applicationDir;
};

// A new, parentless widget for the window, or nullptr.
using WindowFactory = std::function<QWidget*(ToolWindow which, const WindowContext& context)>;

QWidget* CreateToolWindow(ToolWindow which, const WindowContext& context);

}  // namespace quarnel
