#include "app/WindowFactory.h"

#include "windows/about/frmAbout.h"
#include "windows/config/frmOptions.h"
#include "windows/graphs/frmGraphing.h"
#include "windows/help/frmHelp.h"
#include "windows/limits/frmLimits.h"
#include "windows/logging/frmSave.h"
#include "windows/regmap/frmRegMap.h"

namespace quarnel {
namespace {

// One function per window.
QWidget* createLogging(const WindowContext& c) {
    return new frmSave(c.session, c.shell, c.chooseFile);
}
QWidget* createConfig(const WindowContext& c) {
    return new frmOptions(c.session, c.shell);
}
QWidget* createGraphs(const WindowContext& c) {
    return new frmGraphing(c.session, c.shell, c.chooseFile);
}
QWidget* createRegMap(const WindowContext& c) {
    return new frmRegMap(c.session, c.shell);
}
QWidget* createLimits(const WindowContext& c) {
    return new frmLimits(c.session, c.shell);
}

QWidget* createHelp(const WindowContext& c) {
    return new frmHelp(c.session.flags, c.applicationDir);
}
QWidget* createAbout(const WindowContext& c) {
    return new frmAbout(c.openUrl);
}

}  // namespace

QWidget* CreateToolWindow(ToolWindow which, const WindowContext& context) {
    switch (which) {
        case ToolWindow::Logging:
            return createLogging(context);
        case ToolWindow::Config:
            return createConfig(context);
        case ToolWindow::Graphs:
            return createGraphs(context);
        case ToolWindow::RegMap:
            return createRegMap(context);
        case ToolWindow::Limits:
            return createLimits(context);
        case ToolWindow::Help:
            return createHelp(context);
        case ToolWindow::About:
            return createAbout(context);
    }
    return nullptr;
}

}  // namespace quarnel
