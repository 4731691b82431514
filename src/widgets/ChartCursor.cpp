// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ChartCursor.h"

#include <qcustomplot.h>

#include <cmath>
#include <limits>

#include "widgets/ChartColours.h"

namespace quarnel {

double ValueNearest(const QCPGraph* graph, double key) {
    const auto data = graph->data();
    auto at = data->findBegin(key, false);
    if (at != data->constBegin() && (at == data->constEnd() || key - (at - 1)->key < at->key - key))
        --at;
    return at != data->constEnd() ? at->value : std::numeric_limits<double>::quiet_NaN();
}

QString ReadoutNumber(double value) {
    return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'g', 6);
}

ChartCursor::ChartCursor(QCustomPlot* plot) : line_(new QCPItemStraightLine(plot)) {
    line_->setPen(QPen(ChartAxisColour(plot->palette()), 1, Qt::DashLine));
    moveTo(0);
}

void ChartCursor::moveTo(double key) {
    line_->point1->setCoords(key, 0);
    line_->point2->setCoords(key, 1);
}

void ChartCursor::setVisible(bool visible) {
    line_->setVisible(visible);
}

QCustomPlot* ChartCursor::plot() const {
    return line_->parentPlot();
}

}  // namespace quarnel
