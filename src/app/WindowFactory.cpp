// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowFactory.h"

#include "widgets/WidgetAccessibility.h"
#include "windows/about/frmAbout.h"
#include "windows/config/frmOptions.h"
#include "windows/graphs/frmGraphing.h"
#include "windows/help/frmHelp.h"
#include "windows/limits/frmLimits.h"
#include "windows/logging/frmSave.h"
#include "windows/regmap/frmRegMap.h"

namespace quarnel {
namespace {

template <class Window>
CreatedWindow refreshed(Window* window) {
    return {window, window};
}

}  // namespace

namespace {

CreatedWindow create(ToolWindow which, const WindowContext& c) {
    Session& s = c.session;
    switch (which) {
        case ToolWindow::Logging:
            return refreshed(new frmSave(s, c.host, c.chooseFile, c.applicationDir));
        case ToolWindow::Config:
            return {new frmOptions(s.link, c.host)};
        case ToolWindow::Graphs:
            return refreshed(new frmGraphing(s, c.host, c.chooseFile));
        case ToolWindow::RegMap:
            return refreshed(
                new frmRegMap(s.link, s.device.table, s.openFlag(FlaggedWindow::RegMap)));
        case ToolWindow::Limits:
            return refreshed(new frmLimits(s));
        case ToolWindow::Help:
            return {new frmHelp(s, c.host, c.applicationDir)};
        case ToolWindow::About:
            return {new frmAbout(c.host, c.openUrl)};
    }
    return {};
}

}  // namespace

CreatedWindow CreateToolWindow(ToolWindow which, const WindowContext& c) {
    const CreatedWindow created = create(which, c);
    if (created.widget) NameByCaptions(created.widget);
    return created;
}

}  // namespace quarnel
