// SPDX-License-Identifier: GPL-3.0-or-later
// Every window for every user, on a screen at 2x scaling: with all windows
// open, a screen reader finds each control by name and role, every coloured
// text keeps its contrast on a light and a dark palette, a larger font clips
// nothing, and pictures are drawn for the screen's pixels.

#include <qcustomplot.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>

#include "app/frmMain.h"
#include "app/splash/frmSplash.h"
#include "gui/app/AppTestSupport.h"
#include "widgets/LinearGauge.h"
#include "widgets/PlotImage.h"
#include "widgets/ReadableColour.h"
#include "windows/logreview/frmLogReview.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

const bool kScaled = qputenv("QT_SCALE_FACTOR", "2");  // before the application starts

using Check = void (*)(QWidget* window, QStringList& faults);

// A control takes the focus, can be dragged, or is one of our painted ones;
// windows and tab pages only hold controls. Its role must say what it is.
void unnamed(QAccessibleInterface* iface, QStringList& faults) {
    if (!iface || iface->state().invisible) return;
    QObject* object = iface->object();
    const QByteArray type(object ? object->metaObject()->className() : "");
    const QAccessible::Role role = iface->role();
    const bool control = iface->state().focusable || role == QAccessible::Grip ||
                         (type.startsWith("quarnel::") && object->isWidgetType());
    const bool vague = role == QAccessible::Client || role == QAccessible::Indicator ||
                       role == QAccessible::Grip || role == QAccessible::NoRole ||
                       (role == QAccessible::StaticText && object && object->inherits("QLabel"));
    if (control && !type.startsWith("quarnel::frm") && type != "QTabWidget" &&
        (iface->text(QAccessible::Name).isEmpty() || vague))
        faults << type + ' ' + (object ? object->objectName() : iface->text(QAccessible::Name));
    // A captioned control is announced by its caption (a drop-down list by its
    // item, the caption through the labelled-by relation: e2e_gui checks it).
    if (auto* label = qobject_cast<QLabel*>(object);
        label && label->buddy() && !label->buddy()->inherits("QComboBox") &&
        QAccessible::queryAccessibleInterface(label->buddy())->text(QAccessible::Name) !=
            QString(label->text()).remove(u'&'))
        faults << label->buddy()->objectName() + QStringLiteral(" not named by its caption");
    for (int i = 0; i < iface->childCount(); ++i) unnamed(iface->child(i), faults);
}

void lowContrast(const QString& what, const QColor& ink, const QColor& ground, QStringList& faults,
                 double need = kReadableContrast) {
    if (ContrastRatio(ink, ground) < need)
        faults << what + QStringLiteral(" %1 on %2").arg(ink.name(), ground.name());
}

// Each chart as it is saved: the window's text would read on its ground as
// its own texts do, at 4.5:1; its traces stand out at 3:1.
void chartsUnreadable(QWidget* window, QStringList& faults) {
    for (QCustomPlot* plot : window->findChildren<QCustomPlot*>()) {
        const QString name = plot->parentWidget()->objectName() + u'/' + plot->objectName();
        const QColor ground = plot->toPixmap().toImage().pixelColor(1, 1);
        lowContrast(name + QStringLiteral(" window text"),
                    plot->palette().color(QPalette::WindowText), ground, faults);
        QList<QColor> texts;
        for (QCPAxis* axis : plot->axisRect()->axes())
            texts << axis->tickLabelColor() << axis->labelColor();
        for (int i = 0; i < plot->legend->itemCount(); ++i)
            texts << plot->legend->item(i)->textColor();
        for (QCPLayoutElement* element : plot->plotLayout()->elements(true))
            if (auto* title = qobject_cast<QCPTextElement*>(element)) texts << title->textColor();
        for (const QColor& ink : texts)
            lowContrast(name + QStringLiteral(" text"), ink, ground, faults);
        for (int i = 0; i < plot->plottableCount(); ++i)
            lowContrast(name + u' ' + plot->plottable(i)->name(), plot->plottable(i)->pen().color(),
                        ground, faults, kGraphicContrast);
    }
}

// Labels, tree entries, the help page, the gauges' limit values and the
// charts, each with the colours it is drawn in; greyed-out text is exempt.
void unreadable(QWidget* window, QStringList& faults) {
    const auto check = [&](const QString& what, const QColor& ink, const QColor& ground) {
        lowContrast(what, ink, ground, faults);
    };
    const auto or_ = [](const QBrush& b, const QColor& c) {
        return b.style() == Qt::NoBrush ? c : b.color();
    };
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isEnabled())
            check(label->objectName(), label->palette().color(QPalette::WindowText),
                  label->palette().color(QPalette::Window));
    for (QTreeWidget* tree : window->findChildren<QTreeWidget*>())
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            check((*it)->text(0), (*it)->foreground(0).color(),
                  tree->palette().color(QPalette::Base));
    for (QTextBrowser* page : window->findChildren<QTextBrowser*>())
        for (QTextBlock b = page->document()->begin(); b.isValid(); b = b.next())
            for (auto f = b.begin(); !f.atEnd(); ++f)
                check(f.fragment().text().left(20),
                      or_(f.fragment().charFormat().foreground(),
                          page->palette().color(QPalette::Text)),
                      or_(b.blockFormat().background(), page->palette().color(QPalette::Base)));
    for (LinearGauge* gauge : window->findChildren<LinearGauge*>())
        for (int marker : {LinearGauge::LowMarker, LinearGauge::HighMarker})
            check(gauge->objectName(), gauge->limitTextColour(marker),
                  gauge->palette().color(gauge->backgroundRole()));
    chartsUnreadable(window, faults);
}

// Controls that stand partly outside the widget holding them.
void clipped(QWidget* window, QStringList& faults) {
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisibleTo(window) && !w->isWindow() && !w->inherits("QMdiSubWindow") &&
            !w->inherits("QScrollBar") && !w->parentWidget()->inherits("QAbstractScrollArea") &&
            !w->parentWidget()->rect().contains(w->geometry()))
            faults << w->objectName() + QStringLiteral(" cut off %1,%2 %3x%4 in %5x%6")
                                            .arg(w->x())
                                            .arg(w->y())
                                            .arg(w->width())
                                            .arg(w->height())
                                            .arg(w->parentWidget()->width())
                                            .arg(w->parentWidget()->height());
}

// Access keys in one window's reach, a tool window's own with the menu bar's:
// none taken twice (each menu's own: tst_mainwindow).
void keysTakenTwice(QWidget* main, QStringList& faults) {
    for (QMdiSubWindow* sub : main->findChildren<QMdiSubWindow*>()) {
        QList<QKeySequence> keys;
        for (QAction* title : main->findChild<QMenuBar*>()->actions())
            keys << QKeySequence::mnemonic(title->text());
        for (QWidget* w : sub->widget()->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(w);
            if (const auto* button = qobject_cast<QAbstractButton*>(w))
                keys << QKeySequence::mnemonic(button->text());
            if (label && label->buddy()) keys << QKeySequence::mnemonic(label->text());
        }
        keys.removeAll(QKeySequence());
        if (QSet<QKeySequence>(keys.begin(), keys.end()).size() != keys.size())
            faults << sub->windowTitle();
    }
}

QPalette darkPalette() {  // like the desktops' dark schemes
    QPalette p(QColor(53, 53, 53), QColor(53, 53, 53));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(42, 42, 42));
    return p;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
  private slots:
    void everyWindowForEveryUser_data() {
        QTest::addColumn<void*>("check");
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<double>("fontScale");
        QTest::addColumn<QPalette>("startPalette");  // the windows open in it
        const QPalette light = QApplication::style()->standardPalette(), dark = darkPalette();
        QTest::newRow("names and roles") << (void*)+[](QWidget* w, QStringList& faults) {
            unnamed(QAccessible::queryAccessibleInterface(w), faults);
        } << light << 1.0 << light;
        QTest::newRow("access keys") << (void*)&keysTakenTwice << light << 1.0 << light;
        QTest::newRow("light palette") << (void*)&unreadable << light << 1.0 << light;
        QTest::newRow("dark palette") << (void*)&unreadable << dark << 1.0 << dark;
        QTest::newRow("charts, light to dark") << (void*)&chartsUnreadable << dark << 1.0 << light;
        QTest::newRow("font 1.25x") << (void*)&clipped << light << 1.25 << light;
    }
    void everyWindowForEveryUser() {
        QFETCH(void*, check);
        QFETCH(QPalette, palette);
        QFETCH(double, fontScale);
        QFETCH(QPalette, startPalette);
        const QFont font = QApplication::font();
        QApplication::setFont(QFont(font.family(), font.pointSizeF() * fontScale));
        QApplication::setPalette(startPalette);
        QStringList faults;
        {
            clearSettings();
            HarnessOptions options;
            options.fakeWindows = false;
            AppHarness h(options);
            QVERIFY(h.app->StartApplication());
            h.main().showNormal();       // size grip and all, as a window manager shows it
            h.main().resize(1024, 768);  // a small screen's size, not the bare platform's 400
            for (ToolWindow which :
                 {ToolWindow::Logging, ToolWindow::Config, ToolWindow::Graphs, ToolWindow::RegMap,
                  ToolWindow::Limits, ToolWindow::Help, ToolWindow::About})
                h.main().openWindow(which);
            // A log of every channel in a review window (Windows-1252: \260 is the degree sign).
            QFile log(h.file("walk.csv"));
            QVERIFY(log.open(QIODevice::WriteOnly) &&
                    log.write("\r\nQUARNEL Log File\r\n\r\nTime(s) ,Internal(\260C) ,Vdd(V) ,"
                              "VARNO(\260C) ,Ain1(V) ,Ain2(V) ,Ain3(V) ,Ain4(V) ,Ain5(V) ,"
                              "Ain6(V) ,Ain7(V) ,Ain8(V) ,\r\n0,1,1,1,1,1,1,1,1,1,1,\r\n"
                              "1,2,2,2,2,2,2,2,2,2,2,\r\n") > 0);
            log.close();
            QVERIFY(h.main().openLogFile(log.fileName()));
            auto* review = h.main().findChild<frmLogReview*>();
            QVERIFY(review && QTest::qWaitFor([review] { return !review->loading(); }, 30000));
            QApplication::setPalette(palette);  // a change reaches the widgets in posted events
            QApplication::sendPostedEvents();
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            reinterpret_cast<Check>(check)(&h.main(), faults);
        }
        QApplication::setFont(font);
        faults.removeDuplicates();
        qInfo("%d faults", int(faults.size()));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void splashPicturesAreSharp() {
        frmSplash splash({});
        splash.show();
        QVERIFY(kScaled && splash.devicePixelRatioF() == 2.0);
        for (const char* name : {"Image1", "Image2"}) {
            auto* image = splash.findChild<QLabel*>(name);
            QCOMPARE(image->pixmap().size(), image->size() * 2);
        }
    }

    void chartPicturesHaveTheScreensPixels() {
        QCustomPlot plot;
        plot.resize(300, 200);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        const QString name =
            QDir(QDir::tempPath())
                .filePath(
                    QStringLiteral("quarnel-chart-%1.png").arg(QCoreApplication::applicationPid()));
        ChooseAndSavePlotImage(&plot, nullptr,
                               [&](QWidget*, const QString&, const QString&, const QString&) {
                                   return std::optional(name);
                               },
                               {});
        const QImage saved(name);
        QFile::remove(name);
        QCOMPARE(saved.size(), plot.size() * 2);
        CopyPlotImage(&plot);
        QCOMPARE(QApplication::clipboard()->image().size(), plot.size() * 2);
    }
};

QUARNEL_APP_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
