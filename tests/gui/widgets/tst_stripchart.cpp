// SPDX-License-Identifier: GPL-3.0-or-later
// Strip chart: bounded memory over long runs, time stamps across midnight,
// replots only when asked, zoom arrows and the image commands.

#include <qcustomplot.h>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "widgets/StripChart.h"

using quarnel::StripChart;

namespace {

qint64 at(int year, int month, int day, int h, int m, int s) {
    return QDateTime(QDate(year, month, day), QTime(h, m, s), Qt::UTC).toMSecsSinceEpoch();
}

void configureTemperature(StripChart& chart) {
    chart.setChannelColors({QColor(0, 0, 255), QColor(255, 0, 0), QColor(0, 128, 0)});
    chart.SetChartTitle(QStringLiteral("Temperature(°C)"));
    chart.SetChannelLabel(1, QStringLiteral("Internal"));
    chart.SetChannelLabel(2, QStringLiteral("External"));
    chart.SetChannelLabel(3, QStringLiteral("VARNO"));
    chart.setYRange(0, 110);
    chart.setOuterYRange(-50, 120);
}

// Configured as above and shown on screen.
bool showTemperature(StripChart& chart) {
    configureTemperature(chart);
    chart.resize(600, 300);
    chart.show();
    return QTest::qWaitForWindowExposed(&chart);
}

// Counts replots of the chart's plot from the moment it is made.
struct ReplotCounter {
    explicit ReplotCounter(StripChart& chart) {
        QObject::connect(chart.plot(), &QCustomPlot::afterReplot, [this] { ++count; });
    }
    int count = 0;
};

void drag(QWidget* handle, QPoint delta) {
    const QPoint start = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, start);
    QTest::mouseMove(handle, start + delta / 2);
    QTest::mouseMove(handle, start + delta);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, start + delta);
}

}  // namespace

class TestStripChart : public QObject {
    Q_OBJECT

  private slots:
    void historyStaysBoundedOverHours();
    void stuckClockIsBoundedByPointCount();
    void midnightKeepsTimeIncreasing();
    void clockSetBackStartsAgain();
    void hiddenChannelsKeepLegendAndTakeNoSamples();
    void legendColumnsFollowTextsAndFont();
    void replotsOnlyOnRefreshNeverPerSample();
    void hiddenChartReplotsWhenShown();
    void arrowsZoomWithinOuterRangeAndHistory();
    void saveAndCopyImage();
    void accessibleNameAndValue();
    void cursorReadoutFollowsPointer();
};

void TestStripChart::historyStaysBoundedOverHours() {
    StripChart chart;
    configureTemperature(chart);
    // Four hours at ten samples a second.
    const qint64 start = at(2024, 3, 5, 8, 0, 0);
    const int samples = 4 * 3600 * 10;
    int peak = 0;
    for (int i = 0; i < samples; ++i) {
        chart.AddSamples(start + qint64(i) * 100, {20.0, 30.0, 25.0});
        if (i % 5000 == 0) peak = std::max(peak, chart.sampleCount(1));
    }
    // Ten minutes of history at 10 Hz, plus the sample on the boundary.
    for (int channel = 1; channel <= 3; ++channel) QVERIFY(chart.sampleCount(channel) <= 6001);
    QVERIFY(chart.sampleCount(1) >= 5999);
    QVERIFY(peak <= 6001);
}

void TestStripChart::stuckClockIsBoundedByPointCount() {
    StripChart chart({QColor(0, 0, 255)});
    QCOMPARE(chart.channelCount(), 1);
    const qint64 t = at(2024, 3, 5, 8, 0, 0);
    for (int i = 0; i < 60000; ++i) chart.AddSample(1, i, t);
    QVERIFY(chart.sampleCount(1) <= 25000);
    QVERIFY(chart.sampleCount(1) >= 20000);
    // The newest points are the ones kept.
    QCOMPARE((chart.plot()->graph(0)->data()->constEnd() - 1)->value, 59999.0);
}

void TestStripChart::midnightKeepsTimeIncreasing() {
    StripChart chart;
    QVERIFY(showTemperature(chart));

    const qint64 start = at(2024, 12, 31, 23, 59, 30);
    for (int i = 0; i < 600; ++i) chart.AddSamples(start + i * 100, {1.0 * i, 2.0, 3.0});
    chart.refresh();

    auto data = chart.plot()->graph(0)->data();
    QCOMPARE(data->size(), 600);
    for (auto it = data->constBegin() + 1; it != data->constEnd(); ++it)
        QVERIFY((it - 1)->key < it->key);
    // The newest sample is after midnight, the window ends there and runs forward.
    const double newest = double(start + 599 * 100) / 1000.0;
    QCOMPARE(chart.timeAxisUpper(), newest);
    QCOMPARE(chart.timeAxisUpper() - chart.timeAxisLower(), chart.timeSpanSeconds());
    QVERIFY(chart.timeAxisLower() < double(at(2025, 1, 1, 0, 0, 0)) / 1000.0);
    QCOMPARE(QCPAxisTickerDateTime::keyToDateTime(newest).toUTC().date(), QDate(2025, 1, 1));
}

void TestStripChart::clockSetBackStartsAgain() {
    StripChart chart;
    configureTemperature(chart);
    const qint64 start = at(2024, 6, 1, 12, 0, 0);
    for (int i = 0; i < 100; ++i) chart.AddSamples(start + i * 100, {1, 2, 3});
    // An hour back: without a restart every new sample would be trimmed away.
    const qint64 earlier = start - 3600 * 1000;
    for (int i = 0; i < 50; ++i) chart.AddSamples(earlier + i * 100, {4, 5, 6});
    QCOMPARE(chart.sampleCount(1), 50);
    QCOMPARE(chart.sampleCount(3), 50);
    QCOMPARE(chart.plot()->graph(0)->data()->constBegin()->value, 4.0);
}

void TestStripChart::legendColumnsFollowTextsAndFont() {
    // After each change the legend has the columns of a chart built afresh
    // with the same texts and font: no width measured earlier outlives them.
    const auto columns = [](StripChart& chart) {
        chart.resize(600, 300);
        chart.show();
        chart.refresh();
        return chart.plot()->legend->wrap();
    };
    StripChart chart;
    configureTemperature(chart);
    const struct {
        const char* label;
        int pointSize;  // 0: font unchanged
    } steps[] = {
        {"Internal=23.25°C, a long legend text", 0}, {"Internal", 0}, {"Internal", 30}, {"In", 8}};
    QList<int> seen{columns(chart)};
    for (const auto& step : steps) {
        chart.SetChannelLabel(1, QString::fromUtf8(step.label));
        QFont font = chart.plot()->legend->font();
        if (step.pointSize) font.setPointSize(step.pointSize);
        chart.plot()->legend->setFont(font);
        StripChart fresh;
        configureTemperature(fresh);
        fresh.SetChannelLabel(1, QString::fromUtf8(step.label));
        fresh.plot()->legend->setFont(font);
        seen << columns(chart);
        QCOMPARE(seen.back(), columns(fresh));
    }
    QVERIFY(seen[1] < seen[0] && seen[2] == seen[0] && seen[3] < seen[0]);  // the texts matter
}

void TestStripChart::hiddenChannelsKeepLegendAndTakeNoSamples() {
    StripChart chart;
    configureTemperature(chart);
    chart.AddSamples(at(2024, 1, 1, 0, 0, 0), {20, 30, 25});
    chart.SetChannelLabel(2, QStringLiteral("External Disabled"));
    chart.SetChannelShown(2, false);
    chart.AddSamples(at(2024, 1, 1, 0, 0, 1), {20, 90, 25});

    QVERIFY(!chart.channelShown(2));
    QVERIFY(chart.channelShown(1));
    QVERIFY(!chart.plot()->graph(1)->visible());
    chart.SetChannelShown(2, true);  // what came while hidden never shows: a gap stands for it
    chart.AddSamples(at(2024, 1, 1, 0, 0, 2), {20, 31, qQNaN()});  // NaN: not read yet
    const auto* data = chart.plot()->graph(1)->data().data();
    QVERIFY(data->size() == 3 && std::isnan(data->at(1)->value) && data->at(2)->value == 31);
    QCOMPARE(chart.sampleCount(3), 2);
    chart.SetChannelShown(2, false);
    QCOMPARE(chart.legendTexts(), QList<QString>({"Internal", "External Disabled", "VARNO"}));
    // The legend item stays, in the channel's hue.
    auto* item = chart.plot()->legend->itemWithPlottable(chart.plot()->graph(1));
    QVERIFY(item);
    QCOMPARE(item->textColor().hue(), QColor(255, 0, 0).hue());
    QCOMPARE(chart.plot()->graph(1)->pen().widthF(), 1.0);

    // Out-of-range channels are ignored.
    chart.AddSample(0, 1, at(2024, 1, 1, 0, 0, 1));
    chart.AddSample(4, 1, at(2024, 1, 1, 0, 0, 1));
    chart.SetChannelLabel(9, QStringLiteral("x"));
    QCOMPARE(chart.channelCount(), 3);

    // Two greens too alike on a light ground (the graphs' Ain3 and Ain7): the second is dashed.
    chart.setChannelColors({QColor(0, 128, 0), QColor(0, 255, 0)});
    QCOMPARE(chart.plot()->graph(1)->pen().style(), Qt::DashLine);
}

void TestStripChart::replotsOnlyOnRefreshNeverPerSample() {
    StripChart chart;
    QVERIFY(showTemperature(chart));
    QCoreApplication::processEvents();
    ReplotCounter replots(chart);

    const qint64 start = at(2024, 1, 1, 10, 0, 0);
    for (int i = 0; i < 500; ++i) chart.AddSamples(start + i * 100, {1, 2, 3});
    QCoreApplication::processEvents();
    QCOMPARE(replots.count, 0);

    chart.refresh();
    QCOMPARE(replots.count, 1);

    // Legend and title changes gather into one replot, which refresh() absorbs.
    for (int i = 0; i < 13; ++i) chart.SetChannelLabel(1 + i % 3, QString::number(i));
    chart.SetChartTitle(QStringLiteral("Temperature(°F)"));
    chart.refresh();
    QCoreApplication::processEvents();
    QCOMPARE(replots.count, 2);

    chart.SetChannelLabel(1, QStringLiteral("Internal=-.25°C"));
    chart.SetChannelLabel(2, QStringLiteral("External=30°C"));
    QCoreApplication::processEvents();
    QCOMPARE(replots.count, 3);

    chart.resize(640, 320);
    QCoreApplication::processEvents();
    QCOMPARE(replots.count, 4);
}

void TestStripChart::hiddenChartReplotsWhenShown() {
    QWidget window;
    window.resize(600, 300);
    auto* shown = new StripChart(&window);
    auto* stacked = new StripChart(&window);
    configureTemperature(*shown);
    configureTemperature(*stacked);
    stacked->SetChartVisible(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    ReplotCounter shownReplots(*shown), stackedReplots(*stacked);

    shown->AddSamples(at(2024, 1, 1, 10, 0, 0), {1, 2, 3});
    stacked->AddSamples(at(2024, 1, 1, 10, 0, 0), {1, 2, 3});
    shown->refresh();
    stacked->refresh();
    QCOMPARE(shownReplots.count, 1);
    QCOMPARE(stackedReplots.count, 0);

    stacked->SetChartVisible(true);
    QCoreApplication::processEvents();
    QVERIFY(stackedReplots.count >= 1);
    QCOMPARE(stacked->timeAxisUpper(), double(at(2024, 1, 1, 10, 0, 0)) / 1000.0);
}

void TestStripChart::arrowsZoomWithinOuterRangeAndHistory() {
    StripChart chart;
    configureTemperature(chart);
    chart.resize(600, 360);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCOMPARE(chart.toolTip(),
             QStringLiteral("Drag the arrows at the edges of this graph to zoom in and out"));
    auto* top = chart.findChild<QWidget*>(QStringLiteral("yMaxZoomArrow"));
    auto* bottom = chart.findChild<QWidget*>(QStringLiteral("yMinZoomArrow"));
    auto* time = chart.findChild<QWidget*>(QStringLiteral("timeZoomArrow"));
    QVERIFY(top && bottom && time);
    QSignalSpy zoomed(&chart, &StripChart::zoomed);

    // The arrows sit at the ends of the axes.
    const QRect axisRect = chart.plot()->axisRect()->rect();
    QVERIFY(std::abs(top->geometry().center().y() - axisRect.top()) <= 2);
    QVERIFY(std::abs(bottom->geometry().center().y() - axisRect.bottom()) <= 2);
    QVERIFY(std::abs(time->geometry().center().x() - axisRect.left()) <= 2);
    QVERIFY(time->geometry().top() > axisRect.bottom());

    // Pulling the top arrow down zooms in: the maximum drops, the minimum stays.
    drag(top, QPoint(0, axisRect.height() / 2));
    QVERIFY(chart.yMax() < 110 && chart.yMax() > 40);
    QCOMPARE(chart.yMin(), 0.0);
    QVERIFY(zoomed.count() >= 1);
    QCOMPARE(chart.plot()->yAxis->range().upper, chart.yMax());

    // Far past the edge both ends stop at the outer range.
    drag(top, QPoint(0, -5000));
    drag(bottom, QPoint(0, 5000));
    QCOMPARE(chart.yMax(), 120.0);
    QCOMPARE(chart.yMin(), -50.0);
    // And the minimum never passes the maximum.
    drag(bottom, QPoint(0, -5000));
    QVERIFY(chart.yMin() < chart.yMax());

    // The time arrow: left shows more time, up to the history; right shows less.
    const double span = chart.timeSpanSeconds();
    drag(time, QPoint(-axisRect.width() / 2, 0));
    QVERIFY(chart.timeSpanSeconds() > span);
    drag(time, QPoint(-100000, 0));
    QCOMPARE(chart.timeSpanSeconds(), chart.historySeconds());
    drag(time, QPoint(100000, 0));
    QVERIFY(chart.timeSpanSeconds() > 0.0);
    QVERIFY(chart.timeSpanSeconds() < span);

    // From the keyboard: Tab reaches each arrow and the arrow keys move it.
    const double min = chart.yMin(), shown = chart.timeSpanSeconds();
    for (QWidget* arrow : {top, bottom, time}) QVERIFY(arrow->focusPolicy() & Qt::TabFocus);
    QTest::keyClick(bottom, Qt::Key_Down);
    QVERIFY(chart.yMin() < min);
    QTest::keyClick(time, Qt::Key_Left);
    QVERIFY(chart.timeSpanSeconds() > shown);
}

void TestStripChart::saveAndCopyImage() {
    StripChart chart;
    QVERIFY(showTemperature(chart));
    chart.AddSamples(at(2024, 1, 1, 10, 0, 0), {10, 20, 30});
    chart.refresh();

    auto* save = chart.findChild<QAction*>(QStringLiteral("actSaveImage"));
    auto* copy = chart.findChild<QAction*>(QStringLiteral("actCopyImage"));
    QVERIFY(save && copy);
    QCOMPARE(save->text(), QStringLiteral("Save Image..."));
    QCOMPARE(copy->text(), QStringLiteral("Copy Image"));

    QTemporaryDir dir;
    QString chosen;
    QStringList errors;
    chart.setErrorReporter([&](const QString& message) { errors << message; });
    chart.setFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return chosen.isEmpty() ? std::nullopt : std::optional(chosen);
    });

    chosen.clear();  // cancelled: nothing written, nothing reported
    save->trigger();
    QVERIFY(QDir(dir.path()).isEmpty());
    QVERIFY(errors.isEmpty());

    chosen = dir.filePath(QStringLiteral("chart.png"));
    save->trigger();
    const QImage image(chosen, "PNG");
    QCOMPARE(image.size(), chart.plot()->size());

    chosen = dir.filePath(QStringLiteral("missing/dir/chart.png"));
    save->trigger();
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().contains(chosen));

    QApplication::clipboard()->clear();
    copy->trigger();
    QCOMPARE(QApplication::clipboard()->pixmap().size(), chart.plot()->size());
}

void TestStripChart::accessibleNameAndValue() {
    StripChart chart;
    configureTemperature(chart);
    chart.SetChannelLabel(1, QStringLiteral("Internal=-.25°C"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&chart);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Chart);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Temperature(°C)"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("Internal=-.25°C; External; VARNO"));
    chart.SetChartTitle(QStringLiteral("Temperature(°F)"));
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Temperature(°F)"));
}

void TestStripChart::cursorReadoutFollowsPointer() {
    StripChart chart;
    QVERIFY(showTemperature(chart));
    const qint64 start = QDateTime(QDate(2024, 1, 1), QTime(10, 0, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < 10; ++i) chart.AddSamples(start + i * 1000, {20.0 + i, 30.0, 25.5});
    chart.SetChannelShown(2, false);
    chart.refresh();
    QCustomPlot* plot = chart.plot();
    // Over a sample, between two (the nearer counts), before the first, off the axes, back on.
    const struct {
        double x;
        const char* readout;
    } moves[] = {
        {plot->xAxis->coordToPixel(start / 1000.0 + 2), "10:00:02.0\nInternal 22\nVARNO 25.5"},
        {plot->xAxis->coordToPixel(start / 1000.0 + 6.8), "10:00:06.8\nInternal 27\nVARNO 25.5"},
        {plot->xAxis->coordToPixel(start / 1000.0 - 5), "09:59:55.0\nInternal -\nVARNO -"},
        {plot->axisRect()->left() - 20.0, ""},
        {plot->xAxis->coordToPixel(start / 1000.0 + 8), "10:00:08.0\nInternal 28\nVARNO 25.5"}};
    for (const auto& move : moves) {
        const QPointF at(move.x, plot->axisRect()->center().y());
        QMouseEvent event(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &event);
        QCOMPARE(chart.cursorReadout(), QString::fromLatin1(move.readout));
    }
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(plot, &leave);
    QCOMPARE(chart.cursorReadout(), QString());
}

QTEST_MAIN(TestStripChart)
#include "tst_stripchart.moc"
