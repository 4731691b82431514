// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Charts in their widget's palette, so that a chart looks like the window
// it is in, light or dark: the ground is the palette's Base, texts its Text,
// axes and grid mixes of the two. A trace keeps its own hue, shaded just far
// enough from the ground to stand out from it.

#include <QColor>

class QPen;
class QCustomPlot;
class QCPAbstractPlottable;
class QPalette;

namespace quarnel {

// The ground the chart is drawn on; texts on it, and axis lines, ticks and
// the zoom arrows: a grey between text and ground.
QColor ChartGroundColour(const QPalette& palette);
QColor ChartTextColour(const QPalette& palette);
QColor ChartAxisColour(const QPalette& palette);

// Colours the chart from its palette and shades every trace for the ground;
// again after each palette change. Legend texts take the Text colour, cursor
// lines the axes' colour.
void DressChart(QCustomPlot* plot);

// The trace's pen as chosen, drawn in its colour shaded for the chart's
// ground, and in another line style where that colour looks too like an
// earlier trace's; TraceColour() gives the colour back unshaded.
void SetTracePen(QCPAbstractPlottable* trace, const QPen& pen);
QColor TraceColour(const QCPAbstractPlottable* trace);

}  // namespace quarnel
