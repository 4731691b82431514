#pragma once
// What a tool window may ask of the main window. Windows never include the
// main window's header; the main window implements this, tests record it.

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

#include "widgets/FileChooser.h"

class QWidget;

namespace quarnel {

enum class ToolWindow { Logging, Config, Graphs, RegMap, Limits, Help, About };

class Shell {
  public:
    virtual ~Shell() = default;
    virtual void setMainTitle(const QString& title) = 0;
    virtual void setStatusText(const QString& text) = 0;
    // Creates the window on first use, brings an open one to the front.
    virtual void openWindow(ToolWindow which) = 0;
    // Forwarded to the open window; nothing while it is closed.
    virtual void updateGraphsLayout() = 0;
    virtual void updateLimitsLayout() = 0;
    // The programs' own directory (firmware, help page, log dialog start).
    virtual QString applicationDir() const = 0;
};

// Seams for what would otherwise block a test or leave the process.
using UrlOpener = std::function<void(const QUrl& url)>;

}  // namespace quarnel
