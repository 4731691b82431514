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

CreatedWindow create(ToolWindow which, const WindowContext& c) {
    switch (which) {
        case ToolWindow::Logging:
            return {new frmSave(c.feed, c.notifier, c.host, c.chooseFile, c.applicationDir)};
        case ToolWindow::Config:
            return {new frmOptions(c.feed, c.host)};
        case ToolWindow::Graphs:
            return {new frmGraphing(c.feed, c.notifier, c.host, c.chooseFile)};
        case ToolWindow::RegMap:
            return {new frmRegMap(c.feed, c.table)};
        case ToolWindow::Limits:
            return {new frmLimits(c.feed, c.notifier)};
        case ToolWindow::Help:
            return {new frmHelp(c.feed, c.host, c.applicationDir)};
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
