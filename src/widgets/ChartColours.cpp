// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ChartColours.h"

#include <qcustomplot.h>

#include "widgets/ReadableColour.h"

namespace quarnel {
namespace {

const char* const kTraceColour = "quarnelTraceColour";

QPen recoloured(QPen pen, const QColor& colour) {
    pen.setColor(colour);
    return pen;
}

void shade(QCPAbstractPlottable* trace, const QColor& ground) {
    const QColor colour = TraceColour(trace);
    if (colour.isValid())
        trace->setPen(recoloured(trace->pen(), ReadableOn(colour, ground, kGraphicContrast)));
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
}

void SetTracePen(QCPAbstractPlottable* trace, const QPen& pen) {
    trace->setProperty(kTraceColour, pen.color());
    trace->setPen(pen);
    shade(trace, ChartGroundColour(trace->parentPlot()->palette()));
}

QColor TraceColour(const QCPAbstractPlottable* trace) {
    return trace->property(kTraceColour).value<QColor>();
}

}  // namespace quarnel
