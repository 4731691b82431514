// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ModalLoops.h"

#include <QApplication>
#include <QDialog>
#include <QThread>

namespace quarnel {

bool ModalLoopRunning() {
    // Level 1 is the main loop; a loop inside it belongs to a dialog or menu.
    return QThread::currentThread()->loopLevel() > 1 || QApplication::activeModalWidget() ||
           QApplication::activePopupWidget();
}

void DismissModalLoops() {
    // A menu refusing to close must not hold this loop.
    for (int i = 0; i < 16 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
}

}  // namespace quarnel
