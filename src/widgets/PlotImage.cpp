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

void ChooseAndSavePlotImage(QCustomPlot* plot, QWidget* parent, const FileChooser& chooseFile,
                            const std::function<void(const QString& message)>& reportError) {
    if (!chooseFile) return;
    const std::optional<QString> chosen = chooseFile(parent, QStringLiteral("Save Image"),
                                                     QString(), QString::fromLatin1(kPngFilter));
    const QString name = WithPngSuffix(chosen.value_or(QString()));
    if (name.isEmpty()) return;
    if (!SavePlotImage(plot, name) && reportError)
        reportError(QStringLiteral("The image could not be saved to %1").arg(name));
}

}  // namespace quarnel
