// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/PlotImage.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>

namespace quarnel {

void CopyPlotImage(QCustomPlot* plot) {
    QApplication::clipboard()->setPixmap(plot->toPixmap());
}

void ChooseAndSavePlotImage(QCustomPlot* plot, QWidget* parent, const FileChooser& chooseFile,
                            const std::function<void(const QString& message)>& reportError) {
    if (!chooseFile) return;
    QString name = chooseFile(parent, QStringLiteral("Save Image"), QString(),
                              QStringLiteral("PNG image (*.png)"))
                       .value_or(QString());
    if (name.isEmpty()) return;
    if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) name += QStringLiteral(".png");
    if (!plot->savePng(name) && reportError)
        reportError(QStringLiteral("The image could not be saved to %1").arg(name));
}

}  // namespace quarnel
