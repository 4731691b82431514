// Every window as a screen reader and a dark palette see it: each control has
// a name and a real role, and every coloured text keeps its contrast.

#include <QAccessible>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>

#include "app/frmMain.h"
#include "gui/app/AppTestSupport.h"
#include "widgets/LinearGauge.h"
#include "widgets/ReadableColour.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr ToolWindow kAll[] = {ToolWindow::Logging, ToolWindow::Config, ToolWindow::Graphs,
                               ToolWindow::RegMap,  ToolWindow::Limits, ToolWindow::Help,
                               ToolWindow::About};

// Roles that tell a screen reader nothing about what the control is.
bool vague(QAccessible::Role role) {
    return role == QAccessible::NoRole || role == QAccessible::Client ||
           role == QAccessible::Indicator || role == QAccessible::Grip;
}

// A control the user works with or reads a value from: it takes the focus,
// it can be dragged, or it is one of our own painted controls. Windows and
// tab pages are containers; the tab bar inside is the control.
bool isControl(QAccessibleInterface* iface) {
    QObject* object = iface->object();
    const QByteArray type(object ? object->metaObject()->className() : "");
    if (type.startsWith("quarnel::frm") || type == "QTabWidget") return false;
    return iface->state().focusable || iface->role() == QAccessible::Grip ||
           (type.startsWith("quarnel::") && object->isWidgetType());
}

// The controls under `iface` without a name or role, or named otherwise
// than by the label that captions them.
void walk(QAccessibleInterface* iface, QStringList& faults) {
    if (!iface || iface->state().invisible) return;
    QObject* object = iface->object();
    const QString name = iface->text(QAccessible::Name);
    if (isControl(iface) && (name.isEmpty() || vague(iface->role())))
        faults << QStringLiteral("%1 %2 (%3)")
                      .arg(object ? object->metaObject()->className() : "?",
                           object ? object->objectName() : QString())
                      .arg(iface->role());
    if (auto* label = qobject_cast<QLabel*>(object); label && label->buddy()) {
        const QString caption = QString(label->text()).remove(u'&');
        QAccessibleInterface* buddy = QAccessible::queryAccessibleInterface(label->buddy());
        if (buddy->text(QAccessible::Name) != caption)
            faults << label->buddy()->objectName() + QStringLiteral(" not named ") + caption;
    }
    for (int i = 0; i < iface->childCount(); ++i) walk(iface->child(i), faults);
}

struct OpenProgram {
    OpenProgram() : h(options()) {
        clearSettings();
        QVERIFY(h.app->StartApplication());
        for (ToolWindow which : kAll) h.main().openWindow(which);
    }
    static HarnessOptions options() {
        HarnessOptions o;
        o.fakeWindows = false;
        return o;
    }
    AppHarness h;
};

// A palette like the desktops' dark schemes.
QPalette darkPalette() {
    QPalette p;
    const QColor window(53, 53, 53), base(42, 42, 42), text(230, 230, 230);
    for (auto role : {QPalette::Window, QPalette::Button}) p.setColor(role, window);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    return p;
}

// Every text the windows colour themselves, with the contrast it has on its
// background as it is drawn: labels, tree entries, the help page, the
// gauges' limit values.
void measure(QWidget* window, QStringList& faults) {
    const auto check = [&](const QString& what, const QColor& text, const QColor& background) {
        const double ratio = ContrastRatio(text, background);
        if (ratio < kReadableContrast)
            faults << QStringLiteral("%1 %2 on %3: %4")
                          .arg(what, text.name(), background.name())
                          .arg(ratio, 0, 'f', 2);
    };
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isEnabled())  // greyed-out text is exempt
            check(label->objectName(), label->palette().color(QPalette::WindowText),
                  label->palette().color(QPalette::Window));
    for (QTreeWidget* tree : window->findChildren<QTreeWidget*>())
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            check((*it)->text(0), (*it)->foreground(0).color(),
                  tree->palette().color(QPalette::Base));
    for (QTextBrowser* page : window->findChildren<QTextBrowser*>()) {
        const QPalette& p = page->palette();
        for (QTextBlock b = page->document()->begin(); b.isValid(); b = b.next()) {
            const QBrush shade = b.blockFormat().background();
            for (auto f = b.begin(); !f.atEnd(); ++f) {
                const QBrush ink = f.fragment().charFormat().foreground();
                check(f.fragment().text().left(20),
                      ink.style() == Qt::NoBrush ? p.color(QPalette::Text) : ink.color(),
                      shade.style() == Qt::NoBrush ? p.color(QPalette::Base) : shade.color());
            }
        }
    }
    for (LinearGauge* gauge : window->findChildren<LinearGauge*>())
        for (int marker : {LinearGauge::LowMarker, LinearGauge::HighMarker})
            check(gauge->objectName(), gauge->limitTextColour(marker),
                  gauge->palette().color(gauge->backgroundRole()));
}

// Labels, buttons and boxes whose text does not fit them, or that stand
// partly outside the widget that holds them.
void findClipped(QWidget* window, QStringList& faults) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || !w->parentWidget() || w->inherits("QMdiSubWindow")) continue;
        const auto* label = qobject_cast<QLabel*>(w);
        const bool text = label || w->inherits("QAbstractButton");
        const QSize need = label && label->wordWrap()
                               ? QSize(0, label->heightForWidth(label->width()))
                               : w->minimumSizeHint();
        if (text && (need.width() > w->width() || need.height() > w->height()))
            faults << w->objectName() + QStringLiteral(" too small");
        const QRect inside = w->parentWidget()->rect();
        if (!w->isWindow() && !inside.contains(w->geometry()) &&
            !w->parentWidget()->inherits("QAbstractScrollArea") && !w->inherits("QScrollBar"))
            faults << w->objectName() + QStringLiteral(" cut off");
    }
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
  private slots:
    void everyControlHasANameAndARole() {
        OpenProgram program;
        frmMain& main = program.h.main();
        main.showNormal();  // as a window manager would show it, size grip and all
        QStringList faults;
        // Each window in front in turn, as the user would read it.
        for (ToolWindow which : kAll) {
            main.mdiArea()->setActiveSubWindow(main.subWindow(which));
            walk(QAccessible::queryAccessibleInterface(main.subWindow(which)), faults);
        }
        walk(QAccessible::queryAccessibleInterface(main.statusBar()), faults);
        walk(QAccessible::queryAccessibleInterface(main.menuBar()), faults);
        faults.removeDuplicates();
        qInfo("%d controls without a name or role", int(faults.size()));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    }

    void nothingClippedWithALargerFont() {
        const QFont before = QApplication::font();
        QFont larger = before;
        larger.setPointSizeF(before.pointSizeF() * 1.25);
        QApplication::setFont(larger);
        QStringList faults;
        {
            OpenProgram program;
            for (ToolWindow which : kAll) findClipped(program.h.main().subWindow(which), faults);
        }
        QApplication::setFont(before);
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    }

    void colouredTextsStayReadable_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QTest::newRow("dark") << darkPalette();
    }
    void colouredTextsStayReadable() {
        QFETCH(QPalette, palette);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(palette);
        QStringList faults;
        {
            OpenProgram program;
            measure(&program.h.main(), faults);
        }
        QApplication::setPalette(before);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    }
};

QUARNEL_APP_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
