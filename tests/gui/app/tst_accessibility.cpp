// Every window as a screen reader and a dark palette see it: each control has
// a name and a real role, and every coloured text keeps its contrast.

#include <QAccessible>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

#include "app/frmMain.h"
#include "gui/app/AppTestSupport.h"

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
};

QUARNEL_APP_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
