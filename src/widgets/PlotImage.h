#pragma once
// The chart pictures' "Save Image..." and "Copy Image", shared by every chart.

#include <QString>

class QCustomPlot;

namespace quarnel {

inline constexpr const char* kPngFilter = "PNG image (*.png)";

// The name with ".png" added when it has no such ending.
QString WithPngSuffix(QString name);
bool SavePlotImage(QCustomPlot* plot, const QString& fileName);  // PNG
void CopyPlotImage(QCustomPlot* plot);                           // to the clipboard

}  // namespace quarnel
