// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/PlotImage.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>
#include <cmath>

namespace quarnel {

void CopyPlotImage(QCustomPlot* plot) {
    QApplication::clipboard()->setPixmap(plot->toPixmap(0, 0, plot->devicePixelRatioF()));
}

void ChooseAndSavePlotImage(QCustomPlot* plot, QWidget* parent, const FileChooser& chooseFile,
                            const std::function<void(const QString& message)>& reportError) {
    if (!chooseFile) return;
    QString name = chooseFile(parent, QStringLiteral("Save Image"), QString(),
                              QStringLiteral("PNG image (*.png)"))
                       .value_or(QString());
    if (name.isEmpty()) return;
    if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) name += QStringLiteral(".png");
    // In the screen's pixels, as the chart is drawn, not its layout's units.
    const double ratio = plot->devicePixelRatioF();
    if (!plot->savePng(name, 0, 0, ratio, -1, int(std::lround(96 * ratio))) && reportError)
        reportError(QStringLiteral("The image could not be saved to %1").arg(name));
}

}  // namespace quarnel
