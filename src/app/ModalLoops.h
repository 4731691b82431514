// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialogs, message boxes and menus run an event loop of their own inside the
// handler that opened them. Closing the windows while one runs would delete
// them under that handler, so an orderly end first dismisses these loops and
// closes the windows once control is back in the main loop.

namespace quarnel {

// A dialog, message box or menu is open, or an event loop runs inside another.
bool ModalLoopRunning();

// Rejects every open modal dialog (a message box as if Escape was pressed) and
// closes every open menu, so their loops return to the handlers that opened them.
void DismissModalLoops();

}  // namespace quarnel
