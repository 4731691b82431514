// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chart pictures' "Save Image..." and "Copy Image", shared by every chart.
// A picture is the chart as it is on the screen, in its pixels (twice the
// layout's on a screen at 2x scale) and in the window's palette
// (dark under a dark one): what the user chose to see, and what a picture
// pasted beside the window or into a page of the same theme should match.

#include <QString>
#include <functional>

#include "widgets/FileChooser.h"

class QCustomPlot;

namespace quarnel {

void CopyPlotImage(QCustomPlot* plot);  // to the clipboard
// "Save Image...": the chooser names the PNG file (nothing happens without
// one); a failed write is reported.
void ChooseAndSavePlotImage(QCustomPlot* plot, QWidget* parent, const FileChooser& chooseFile,
                            const std::function<void(const QString& message)>& reportError);

}  // namespace quarnel
