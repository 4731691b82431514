// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text browser's links as screen readers expect them: one "link" object
// each, named by its text, that can be pressed or focused. Qt's text widgets
// expose the page's text but no hyperlinks on this platform.

class QTextBrowser;

namespace quarnel {

// Gives the browser's page (its viewport) one accessible child per link of the
// document it shows, kept current as the document changes. Call before the
// browser is shown.
void ExposePageLinks(QTextBrowser& browser);

}  // namespace quarnel
