#pragma once
// Screen readers and UI automation see our painted controls by what the user
// sees: each reports a name and a value through Qt's accessibility interface.

namespace quarnel {

// Registers the interfaces of our own controls; idempotent.
void installWidgetAccessibility();

}  // namespace quarnel
