// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a tool window may ask of the main window. Windows never include the
// main window's header; the main window implements WindowHost, tests record it.

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>

#include "widgets/FileChooser.h"

class QWidget;

namespace quarnel {

enum class ToolWindow { Logging, Config, Graphs, RegMap, Limits, Help, About };

class WindowHost {
  public:
    virtual ~WindowHost() = default;
    virtual void setMainTitle(const QString& title) = 0;
    virtual void SetStatusText(const std::string& text) = 0;  // first status-bar panel
    // A passing message over the status bar; a window alone shows none.
    virtual void showStatusMessage(const QString& text);
    // Creates the window on first use, brings an open one to the front.
    virtual void openWindow(ToolWindow which) = 0;
    // The window's frame inside the main window closes, or the window itself
    // when it stands alone.
    virtual void closeFrame(QWidget* window);
    // Centred on the main window horizontally, 1500 twips above centre
    // vertically (the help and About windows); alone, it stays where it is.
    virtual void centreFrame(QWidget* window);
};

// Seams for what would otherwise block a test or leave the process.
using UrlOpener = std::function<void(const QUrl& url)>;

}  // namespace quarnel
