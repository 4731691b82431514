// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Screen readers and UI automation see our painted controls by what the user
// sees: each reports a name and a value through Qt's accessibility interface.

class QString;
class QWidget;

namespace quarnel {

// Registers the interfaces of our own controls; idempotent.
void installWidgetAccessibility();

// Names every control that a label captions (its buddy) by that caption. A
// drop-down list is left to Qt: its name is its current item ("22.5 kHz") and
// its caption reaches screen readers through the labelled-by relation.
void NameByCaptions(QWidget* window);

// Sets the name only when it differs: Qt announces every set as a change, so
// a focused control would have its unchanged name read out again.
void SetAccessibleName(QWidget* control, const QString& name);

}  // namespace quarnel
