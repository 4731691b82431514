// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/WindowHost.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>
#include <algorithm>

#include "windows/Twips.h"

namespace quarnel {

void WindowHost::showStatusMessage(const QString&) {}

void WindowHost::closeFrame(QWidget* window) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        sub->close();
    else
        window->close();
}

void WindowHost::centreFrame(QWidget* window) {
    auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
    if (!sub || !sub->mdiArea()) return;
    // Larger than the space for it, the window would hide its own buttons.
    sub->resize(sub->size().boundedTo(sub->mdiArea()->viewport()->size()));
    const QSize main = sub->mdiArea()->window()->frameGeometry().size();
    const int left = (main.width() - sub->width()) / 2;
    const int top = (main.height() - sub->height()) / 2 - twips(1500);
    // A small main window would push the title bar out of reach.
    sub->move(std::max(0, left), std::max(0, top));
}

}  // namespace quarnel
