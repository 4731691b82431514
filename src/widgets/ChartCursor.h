// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A chart's cursor: a dashed vertical line at a time, and the value each trace
// has there. The live strip charts and the log review window share it.

#include <QString>

class QCustomPlot;
class QCPGraph;
class QCPItemStraightLine;

namespace quarnel {

// The value of the sample nearest the key; NaN when the graph has none.
double ValueNearest(const QCPGraph* graph, double key);
// A value in a readout: six significant digits, "-" for none.
QString ReadoutNumber(double value);

class ChartCursor {
  public:
    // The line is the plot's item: it goes with the plot.
    explicit ChartCursor(QCustomPlot* plot);
    void moveTo(double key);
    void setVisible(bool visible);
    QCustomPlot* plot() const;

  private:
    QCPItemStraightLine* line_;
};

}  // namespace quarnel
