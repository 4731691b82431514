// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ChartColours.h"

#include <qcustomplot.h>

#include <algorithm>
#include <vector>

#include "widgets/ReadableColour.h"

namespace quarnel {
namespace {

const char* const kTraceColour = "quarnelTraceColour";
const char* const kTraceStyle = "quarnelTraceStyle";

QPen recoloured(QPen pen, const QColor& colour) {
    pen.setColor(colour);
    return pen;
}

void shade(QCPAbstractPlottable* trace, const QColor& ground) {
    const QColor colour = TraceColour(trace);
    if (colour.isValid())
        trace->setPen(recoloured(trace->pen(), ReadableOn(colour, ground, kGraphicContrast)));
}

// A trace whose colour, as shaded, looks too like an earlier trace's of the
// same chart takes the first line style none of those has: hues run out
// before the traces of a chart do, and shading brings some hues together.
void tellApart(QCustomPlot* plot) {
    std::vector<QPen> earlier;
    for (int i = 0; i < plot->plottableCount(); ++i) {
        QCPAbstractPlottable* trace = plot->plottable(i);
        if (!TraceColour(trace).isValid()) continue;
        QPen pen = trace->pen();
        const auto taken = [&](Qt::PenStyle style) {
            return std::any_of(earlier.begin(), earlier.end(), [&](const QPen& other) {
                return other.style() == style &&
                       ColourDifference(other.color(), pen.color()) < kDistinctColours;
            });
        };
        const auto wanted = Qt::PenStyle(trace->property(kTraceStyle).toInt());
        pen.setStyle(wanted);
        for (const Qt::PenStyle style : {wanted, Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                         Qt::DashDotLine, Qt::DashDotDotLine})
            if (!taken(style)) {
                pen.setStyle(style);
                break;
            }
        trace->setPen(pen);
        earlier.push_back(pen);
    }
}

}  // namespace

QColor ChartGroundColour(const QPalette& palette) {
    return palette.color(QPalette::Base);  // as lists and fields: a chart is a view of data
}

QColor ChartTextColour(const QPalette& palette) {
    return ReadableOn(palette.color(QPalette::Text), ChartGroundColour(palette));
}

QColor ChartAxisColour(const QPalette& palette) {
    const QColor ground = ChartGroundColour(palette);
    return ReadableOn(Mix(palette.color(QPalette::Text), ground, 0.45), ground, kGraphicContrast);
}

void DressChart(QCustomPlot* plot) {
    const QPalette& palette = plot->palette();
    const QColor ground = ChartGroundColour(palette), text = ChartTextColour(palette),
                 line = ChartAxisColour(palette);
    plot->setBackground(ground);
    for (QCPAxisRect* rect : plot->axisRects()) {
        rect->setBackground(ground);
        for (QCPAxis* axis : rect->axes()) {
            axis->setBasePen(recoloured(axis->basePen(), line));
            axis->setTickPen(recoloured(axis->tickPen(), line));
            axis->setSubTickPen(recoloured(axis->subTickPen(), line));
            axis->setTickLabelColor(text);
            axis->setLabelColor(text);
            // The grid only guides the eye: faint, and no trace is lost behind it.
            QCPGrid* grid = axis->grid();
            grid->setPen(recoloured(grid->pen(), Mix(ground, text, 0.12)));
            grid->setSubGridPen(recoloured(grid->subGridPen(), Mix(ground, text, 0.08)));
            grid->setZeroLinePen(recoloured(grid->zeroLinePen(), Mix(ground, text, 0.25)));
        }
    }
    for (QCPLayoutElement* element : plot->plotLayout()->elements(true))
        if (auto* title = qobject_cast<QCPTextElement*>(element)) title->setTextColor(text);
    QCPLegend* legend = plot->legend;
    legend->setTextColor(text);  // and the items it holds
    if (legend->borderPen().style() != Qt::NoPen)
        legend->setBorderPen(recoloured(legend->borderPen(), line));
    if (legend->brush().style() != Qt::NoBrush) legend->setBrush(ground);
    for (int i = 0; i < plot->plottableCount(); ++i) shade(plot->plottable(i), ground);
    tellApart(plot);
    // Cursor lines: seen as the axes are.
    for (int i = 0; i < plot->itemCount(); ++i)
        if (auto* cursor = qobject_cast<QCPItemStraightLine*>(plot->item(i)))
            cursor->setPen(recoloured(cursor->pen(), line));
}

void SetTracePen(QCPAbstractPlottable* trace, const QPen& pen) {
    trace->setProperty(kTraceColour, pen.color());
    trace->setProperty(kTraceStyle, int(pen.style()));
    trace->setPen(pen);
    shade(trace, ChartGroundColour(trace->parentPlot()->palette()));
    tellApart(trace->parentPlot());
}

QColor TraceColour(const QCPAbstractPlottable* trace) {
    return trace->property(kTraceColour).value<QColor>();
}

}  // namespace quarnel
