// SPDX-License-Identifier: GPL-3.0-or-later
// Lamp: green and "OK" while unlit, red and "Bad" while lit.

#include <QAccessible>
#include <QtTest>

#include "widgets/Lamp.h"

using quarnel::Lamp;

namespace {

QColor centreColour(Lamp& lamp) {
    const QImage image = lamp.grab().toImage();
    return image.pixelColor(image.width() / 2 + 2, image.height() / 2 + 2);
}

}  // namespace

class TestLamp : public QObject {
    Q_OBJECT

  private slots:
    void colourFollowsState();
    void accessibleNameAndValue();
};

void TestLamp::colourFollowsState() {
    Lamp lamp;
    lamp.resize(18, 18);
    QSignalSpy changed(&lamp, &Lamp::litChanged);

    QColor c = centreColour(lamp);
    QVERIFY2(c.green() > 2 * c.red() && c.green() > 2 * c.blue(), qPrintable(c.name()));

    lamp.setLit(true);
    c = centreColour(lamp);
    QVERIFY2(c.red() > 2 * c.green() && c.red() > 2 * c.blue(), qPrintable(c.name()));
    lamp.setLit(true);
    QCOMPARE(changed.count(), 1);

    lamp.setLit(false);
    QVERIFY(centreColour(lamp).green() > centreColour(lamp).red());
    QCOMPARE(changed.count(), 2);
}

void TestLamp::accessibleNameAndValue() {
    Lamp lamp;
    lamp.setCaption(QStringLiteral("VDD High/Low"));
    lamp.setToolTip(QStringLiteral("Interrupt Status: Green=OK, Red=Bad, Invisible=Disabled"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&lamp);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Graphic);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("VDD High/Low: OK"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("OK"));
    lamp.setLit(true);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("VDD High/Low: Bad"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("Bad"));
    QCOMPARE(iface->text(QAccessible::Description),
             QStringLiteral("Interrupt Status: Green=OK, Red=Bad, Invisible=Disabled"));
}

QTEST_MAIN(TestLamp)
#include "tst_lamp.moc"
