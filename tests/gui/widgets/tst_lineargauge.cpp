// SPDX-License-Identifier: GPL-3.0-or-later
// Linear gauge: limit markers moved with the mouse and the keys report the
// values the limits window writes; the reading is read out to screen readers.

#include <QAccessible>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

#include "widgets/LinearGauge.h"
#include "widgets/ReadableColour.h"

using quarnel::LinearGauge;

namespace {

// Where a marker is drawn: the centre of the pixels in its exact colour (its
// triangle and its line across the track), found in a grab of the gauge.
QPointF markerCentre(LinearGauge& gauge, const QColor& color) {
    const QImage image = gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
    double sumY = 0;
    int count = 0, right = 0;
    const QRgb wanted = color.rgb();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == wanted) {
                sumY += y;
                ++count;
                right = std::max(right, x);
            }
    if (count == 0) return {};
    return {right - 3.0, sumY / count};
}

const QColor kLow(24, 130, 200), kHigh(214, 60, 50);

void setUpTemperature(LinearGauge& gauge) {
    gauge.setScale(-128, 127);
    gauge.setBand(-128, 127);
    gauge.setReadingStart(-128);
    gauge.setReading(20);
    gauge.setLowLimit(-55);
    gauge.setHighLimit(80);
    gauge.setStep(1);
    gauge.resize(140, 300);
}

// Set up as above and shown on screen.
bool showTemperature(LinearGauge& gauge) {
    setUpTemperature(gauge);
    gauge.show();
    return QTest::qWaitForWindowExposed(&gauge);
}

}  // namespace

class TestLinearGauge : public QObject {
    Q_OBJECT

  private slots:
    void pointersByNumber();
    void dragReportsValueWhileMovingAndOnRelease();
    void dragStopsAtScaleEnds();
    void clickWithoutMoveWritesNothing();
    void arrowKeysMoveSelectedMarker();
    void heldKeyCommitsOnce();
    void tabSelectsHighMarkerThenLeaves();
    void accessibleNameAndValue();
    void limitTextsReadOnADarkTabPage();
    void focusedMarkerIsFramedPlainly();
};

void TestLinearGauge::pointersByNumber() {
    LinearGauge gauge;
    gauge.setScale(-198, 260);
    gauge.setPointerStart(0, -198);
    gauge.setPointerValue(0, 260);
    gauge.setPointerStart(1, -198);
    gauge.setPointerValue(1, 70);
    // A limit just outside the scale (0x80 in degrees F) is kept as given.
    gauge.setPointerValue(2, -198.4);
    gauge.setPointerValue(3, 176);
    QCOMPARE(gauge.lowLimit(), -198.4);
    QCOMPARE(gauge.highLimit(), 176.0);
    QCOMPARE(gauge.reading(), 70.0);
    QCOMPARE(gauge.pointerStart(LinearGauge::Reading), -198.0);
    QCOMPARE(gauge.pointerValue(LinearGauge::Band), 260.0);
    gauge.setScale(5, 5);  // rejected
    QCOMPARE(gauge.scaleMin(), -198.0);
    QCOMPARE(gauge.scaleMax(), 260.0);
}

void TestLinearGauge::dragReportsValueWhileMovingAndOnRelease() {
    LinearGauge gauge;
    QVERIFY(showTemperature(gauge));
    const QPointF low = markerCentre(gauge, kLow), high = markerCentre(gauge, kHigh);
    QVERIFY(!high.isNull() && !low.isNull());
    const double unitsPerPixel = (80.0 - -55.0) / (low.y() - high.y());

    QSignalSpy moved(&gauge, &LinearGauge::markerMoved);
    QSignalSpy released(&gauge, &LinearGauge::markerReleased);
    const QPoint from = high.toPoint();
    QTest::mousePress(&gauge, Qt::LeftButton, {}, from);
    QTest::mouseMove(&gauge, from - QPoint(0, 10));
    QTest::mouseMove(&gauge, from - QPoint(0, 30));
    QCOMPARE(released.count(), 0);
    QVERIFY(moved.count() >= 2);
    QTest::mouseRelease(&gauge, Qt::LeftButton, {}, from - QPoint(0, 30));

    const double expected = 80.0 + 30 * unitsPerPixel;
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.first().at(0).toInt(), int(LinearGauge::HighMarker));
    const double value = released.first().at(1).toDouble();
    QVERIFY2(std::abs(value - expected) <= 1.5, qPrintable(QString::number(value)));
    QCOMPARE(value, std::round(value));  // snapped to the step
    QCOMPARE(moved.last().at(1).toDouble(), value);
    QCOMPARE(gauge.highLimit(), value);
    QCOMPARE(gauge.lowLimit(), -55.0);
    QCOMPARE(gauge.selectedMarker(), int(LinearGauge::HighMarker));

    // The low marker follows the pointer down.
    QTest::mousePress(&gauge, Qt::LeftButton, {}, low.toPoint());
    QTest::mouseMove(&gauge, low.toPoint() + QPoint(0, 20));
    QTest::mouseRelease(&gauge, Qt::LeftButton, {}, low.toPoint() + QPoint(0, 20));
    QCOMPARE(released.count(), 2);
    QCOMPARE(released.last().at(0).toInt(), int(LinearGauge::LowMarker));
    QVERIFY(std::abs(released.last().at(1).toDouble() - (-55.0 - 20 * unitsPerPixel)) <= 1.5);
}

void TestLinearGauge::dragStopsAtScaleEnds() {
    LinearGauge gauge;
    setUpTemperature(gauge);
    gauge.setScale(0, 2.28);
    gauge.setStep(0);  // automatic: a round step
    gauge.setLowLimit(0.5);
    gauge.setHighLimit(2.0);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    QCOMPARE(gauge.step(), 0.01);

    QSignalSpy released(&gauge, &LinearGauge::markerReleased);
    const QPoint high = markerCentre(gauge, kHigh).toPoint();
    QTest::mousePress(&gauge, Qt::LeftButton, {}, high);
    QTest::mouseMove(&gauge, QPoint(high.x(), -200));
    QTest::mouseRelease(&gauge, Qt::LeftButton, {}, QPoint(high.x(), -200));
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.first().at(1).toDouble(), 2.28);

    const QPoint low = markerCentre(gauge, kLow).toPoint();
    QTest::mousePress(&gauge, Qt::LeftButton, {}, low);
    QTest::mouseMove(&gauge, QPoint(low.x(), 2000));
    QTest::mouseRelease(&gauge, Qt::LeftButton, {}, QPoint(low.x(), 2000));
    QCOMPARE(released.last().at(1).toDouble(), 0.0);
}

void TestLinearGauge::clickWithoutMoveWritesNothing() {
    LinearGauge gauge;
    QVERIFY(showTemperature(gauge));
    QSignalSpy moved(&gauge, &LinearGauge::markerMoved);
    QSignalSpy released(&gauge, &LinearGauge::markerReleased);
    QTest::mouseClick(&gauge, Qt::LeftButton, {}, markerCentre(gauge, kHigh).toPoint());
    QCOMPARE(gauge.selectedMarker(), int(LinearGauge::HighMarker));
    QTest::mouseClick(&gauge, Qt::LeftButton, {}, markerCentre(gauge, kLow).toPoint());
    QCOMPARE(gauge.selectedMarker(), int(LinearGauge::LowMarker));
    QCOMPARE(moved.count(), 0);
    QCOMPARE(released.count(), 0);
    QCOMPARE(gauge.highLimit(), 80.0);
}

void TestLinearGauge::arrowKeysMoveSelectedMarker() {
    LinearGauge gauge;
    QVERIFY(showTemperature(gauge));
    gauge.setFocus();
    QSignalSpy moved(&gauge, &LinearGauge::markerMoved);
    QSignalSpy released(&gauge, &LinearGauge::markerReleased);

    QTest::keyClick(&gauge, Qt::Key_Up);
    QCOMPARE(gauge.lowLimit(), -54.0);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.last().at(0).toInt(), int(LinearGauge::LowMarker));
    QCOMPARE(released.last().at(1).toDouble(), -54.0);

    gauge.setSelectedMarker(LinearGauge::HighMarker);
    QTest::keyClick(&gauge, Qt::Key_Down);
    QTest::keyClick(&gauge, Qt::Key_Down);
    QCOMPARE(gauge.highLimit(), 78.0);
    QCOMPARE(released.last().at(0).toInt(), int(LinearGauge::HighMarker));
    QCOMPARE(released.last().at(1).toDouble(), 78.0);

    // A value between steps goes to the next step; the ends hold.
    gauge.setHighLimit(80.4);
    QTest::keyClick(&gauge, Qt::Key_Up);
    QCOMPARE(gauge.highLimit(), 81.0);
    QTest::keyClick(&gauge, Qt::Key_End);
    QCOMPARE(gauge.highLimit(), 127.0);
    const int before = released.count();
    QTest::keyClick(&gauge, Qt::Key_Up);
    QCOMPARE(gauge.highLimit(), 127.0);
    QCOMPARE(released.count(), before);  // nothing moved, nothing to write
    QTest::keyClick(&gauge, Qt::Key_PageDown);
    QCOMPARE(gauge.highLimit(), 117.0);
}

void TestLinearGauge::heldKeyCommitsOnce() {
    LinearGauge gauge;
    QVERIFY(showTemperature(gauge));
    gauge.setFocus();
    QSignalSpy moved(&gauge, &LinearGauge::markerMoved);
    QSignalSpy released(&gauge, &LinearGauge::markerReleased);

    QTest::keyPress(&gauge, Qt::Key_Up);
    for (int i = 0; i < 3; ++i) {
        QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(&gauge, &repeatRelease);
        QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(&gauge, &repeatPress);
    }
    QCOMPARE(moved.count(), 4);
    QCOMPARE(released.count(), 0);
    QTest::keyRelease(&gauge, Qt::Key_Up);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.first().at(1).toDouble(), -51.0);
}

void TestLinearGauge::tabSelectsHighMarkerThenLeaves() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit;
    auto* gauge = new LinearGauge;
    auto* after = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(gauge);
    layout->addWidget(after);
    setUpTemperature(*gauge);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    before->setFocus();

    QTest::keyClick(before, Qt::Key_Tab);
    QVERIFY(gauge->hasFocus());
    QCOMPARE(gauge->selectedMarker(), int(LinearGauge::LowMarker));
    QTest::keyClick(gauge, Qt::Key_Tab);
    QVERIFY(gauge->hasFocus());
    QCOMPARE(gauge->selectedMarker(), int(LinearGauge::HighMarker));
    QTest::keyClick(gauge, Qt::Key_Up);
    QCOMPARE(gauge->highLimit(), 81.0);
    QTest::keyClick(gauge, Qt::Key_Tab);
    QVERIFY(after->hasFocus());

    QTest::keyClick(after, Qt::Key_Backtab);
    QVERIFY(gauge->hasFocus());
    QCOMPARE(gauge->selectedMarker(), int(LinearGauge::HighMarker));
    QTest::keyClick(gauge, Qt::Key_Backtab);
    QCOMPARE(gauge->selectedMarker(), int(LinearGauge::LowMarker));
    QVERIFY(gauge->hasFocus());
}

void TestLinearGauge::accessibleNameAndValue() {
    LinearGauge gauge;
    setUpTemperature(gauge);
    gauge.setUnits(QStringLiteral("°C"));
    gauge.setCaption(QStringLiteral(" 25.25°C"));
    gauge.setReading(25.25);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&gauge);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral(" 25.25°C"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("25.25°C"));
    gauge.setReading(-0.25);
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("-0.25°C"));
    // An accessible name set by the window (its label) wins over the caption.
    gauge.setAccessibleName(QStringLiteral("Internal"));
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Internal"));
    gauge.setToolTip(QStringLiteral("Drag the sliders to change the limits"));
    QCOMPARE(
        iface->text(QAccessible::Description),
        QStringLiteral("low limit -55°C, high limit 80°C. Drag the sliders to change the limits"));
}

void TestLinearGauge::focusedMarkerIsFramedPlainly() {
    // The focus changes at least a 2-pixel line around the marker (11 x 12)
    // by 3:1 or more, as a faint halo does not.
    LinearGauge gauge;
    QVERIFY(showTemperature(gauge) && QTest::qWaitForWindowActive(&gauge));
    gauge.clearFocus();
    const QImage plain = gauge.grab().toImage();
    gauge.setFocus();
    const QImage focused = gauge.grab().toImage();
    int changed = 0;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            changed += quarnel::ContrastRatio(focused.pixelColor(x, y), plain.pixelColor(x, y)) >=
                       quarnel::kGraphicContrast;
    QVERIFY2(changed >= 2 * 2 * (11 + 12), qPrintable(QString::number(changed)));
}

void TestLinearGauge::limitTextsReadOnADarkTabPage() {
    // A tab page shows the style's pane through it: lighter than the window
    // under a dark scheme (button and window colours of a desktop's dark one).
    QPalette dark(QColor(66, 66, 69), QColor(34, 32, 32));
    QTabWidget tabs;
    tabs.setPalette(dark);
    auto* gauge = new LinearGauge;
    setUpTemperature(*gauge);
    gauge->setUnits(QStringLiteral("°C"));
    tabs.addTab(gauge, QStringLiteral("Temp Limits"));
    tabs.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tabs));
    const QColor pane = tabs.grab().toImage().pixelColor(gauge->mapTo(&tabs, QPoint(2, 2)));
    for (int marker : {LinearGauge::LowMarker, LinearGauge::HighMarker})
        QVERIFY(quarnel::ContrastRatio(gauge->limitTextColour(marker), pane) >=
                quarnel::kReadableContrast);
}

QTEST_MAIN(TestLinearGauge)
#include "tst_lineargauge.moc"
