// SPDX-License-Identifier: GPL-3.0-or-later
// The least a program can do to show what the graphs window shows: three
// traces over a 60 s window, one sample per trace every 100 ms, the legend
// texts set and one replot each time, and an idle 10 ms precise timer such as
// the master timer. No board, no model, no logging.

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <cmath>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCustomPlot plot;
    plot.setWindowTitle(QStringLiteral("quarnel-floor"));
    plot.resize(640, 420);
    plot.legend->setVisible(true);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
    plot.xAxis->setTicker(ticker);
    plot.yAxis->setRange(0, 110);
    const QColor colors[] = {QColor(0, 0, 255), QColor(255, 0, 0), QColor(0, 128, 0)};
    const char* names[] = {"Internal=", "External=", "VARNO="};
    for (const QColor& color : colors) plot.addGraph()->setPen(QPen(color));
    plot.show();

    QTimer idle;  // the master timer's wake-ups, with nothing to do
    idle.setTimerType(Qt::PreciseTimer);
    QObject::connect(&idle, &QTimer::timeout, [] {});
    idle.start(10);

    QTimer refresh;
    refresh.setTimerType(Qt::PreciseTimer);
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        for (int i = 0; i < 3; ++i) {
            QCPGraph* graph = plot.graph(i);
            const double value = 25.0 + 10.0 * i + 0.25 * std::round(4.0 * std::sin(now + i));
            graph->addData(now, value);
            graph->data()->removeBefore(now - 60.0);
            graph->setName(QLatin1String(names[i]) + QString::number(value, 'f', 2) +
                           QStringLiteral("°C"));
        }
        plot.xAxis->setRange(now - 60.0, now);
        plot.replot(QCustomPlot::rpQueuedRefresh);
    });
    refresh.start(100);
    return app.exec();
}
