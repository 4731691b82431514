#include "widgets/PlotImage.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QClipboard>

namespace quarnel {

QString WithPngSuffix(QString name) {
    if (!name.isEmpty() && !name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        name += QStringLiteral(".png");
    return name;
}

bool SavePlotImage(QCustomPlot* plot, const QString& fileName) {
    return plot->savePng(fileName);
}

void CopyPlotImage(QCustomPlot* plot) {
    QApplication::clipboard()->setPixmap(plot->toPixmap());
}

}  // namespace quarnel
