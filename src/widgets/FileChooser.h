// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file dialog seam: windows and charts ask it for a path, tests answer it.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace quarnel {

// Returns the chosen path, or nothing when the user cancelled.
using FileChooser = std::function<std::optional<QString>(
    QWidget* parent, const QString& caption, const QString& startDir, const QString& filter)>;

}  // namespace quarnel
