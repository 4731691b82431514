// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Screen readers and UI automation see our painted controls by what the user
// sees: each reports a name and a value through Qt's accessibility interface.

class QWidget;

namespace quarnel {

// Registers the interfaces of our own controls; idempotent.
void installWidgetAccessibility();

// Names every control that a label captions (its buddy) by that caption, so
// a drop-down list is announced as "ADC Clock", not by its current item.
void NameByCaptions(QWidget* window);

}  // namespace quarnel
