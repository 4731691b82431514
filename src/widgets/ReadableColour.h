// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text colours that stay readable on light and dark palettes alike: a colour
// chosen for a light background is lightened on a dark one (or darkened on a
// light one) just far enough to keep its contrast.

#include <QColor>

class QPalette;
class QTextDocument;
class QWidget;

namespace quarnel {

// The contrast ratio of two colours, 1 to 21, from their relative luminance.
double ContrastRatio(const QColor& a, const QColor& b);

// Body text needs 4.5:1 to be read comfortably; a line or a shape that
// carries meaning (a trace, an axis) 3:1 to be told from its background.
inline constexpr double kReadableContrast = 4.5;
inline constexpr double kGraphicContrast = 3.0;

// `wanted` when it has that contrast on `background`; otherwise the nearest
// mix of it with white or black that has. The mix keeps the hue.
QColor ReadableOn(const QColor& wanted, const QColor& background,
                  double contrast = kReadableContrast);

// a + (b - a) * t, channel by channel, to the nearest of 256 steps.
QColor Mix(const QColor& a, const QColor& b, double t);

// How different two colours look (CIEDE2000): about 2 is seen side by side;
// two thin lines want kDistinctColours to be told apart at a glance.
double ColourDifference(const QColor& a, const QColor& b);
inline constexpr double kDistinctColours = 20.0;

// The colour a widget's own texts stand on: its background role's, or, on a
// tab page (which is see-through), the pane the style draws behind the page,
// which need not be the window's colour (the Fusion style's is lighter).
QColor GroundColour(const QWidget* widget);

// Recolours every text of the document (headings, links, text on a shaded
// block) that falls short of that contrast on its background.
void MakeReadable(QTextDocument& document, const QPalette& palette);

}  // namespace quarnel
