// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/WidgetAccessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>

#include "widgets/ClickLabel.h"
#include "widgets/Lamp.h"
#include "widgets/LinearGauge.h"
#include "widgets/StripChart.h"
#include "widgets/StripChartArrow.h"

namespace quarnel {

namespace {

// Name: the accessible name when the owner set one, else the control's own
// caption. Value: what the control shows.
template <typename Widget>
class Accessible : public QAccessibleWidget {
  public:
    Accessible(Widget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QString text(QAccessible::Text t) const override {
        const auto* w = static_cast<const Widget*>(widget());
        switch (t) {
            case QAccessible::Name:
                return w->accessibleName().isEmpty() ? w->accessibleCaption() : w->accessibleName();
            case QAccessible::Value:
                return w->accessibleValue();
            case QAccessible::Description:
                return w->accessibleDescription().isEmpty() ? w->toolTip()
                                                            : w->accessibleDescription();
            default:
                return QAccessibleWidget::text(t);
        }
    }
};

// A gauge also gives its reading and scale as numbers, and its limits in
// the description, where screen readers that show no value text find them.
class GaugeAccessible : public Accessible<LinearGauge>, public QAccessibleValueInterface {
  public:
    explicit GaugeAccessible(LinearGauge* gauge) : Accessible(gauge, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return Accessible::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Description) return Accessible::text(t);
        const QString more = Accessible::text(t);
        return gauge()->limitsText() + (more.isEmpty() ? QString() : QStringLiteral(". ") + more);
    }
    QVariant currentValue() const override { return gauge()->reading(); }
    void setCurrentValue(const QVariant&) override {}  // the reading is the chip's
    QVariant maximumValue() const override { return gauge()->scaleMax(); }
    QVariant minimumValue() const override { return gauge()->scaleMin(); }
    QVariant minimumStepSize() const override { return gauge()->step(); }

  private:
    LinearGauge* gauge() const { return static_cast<LinearGauge*>(widget()); }
};

// A clickable label: pressed (a link) or toggled (a check box) like a button.
class ClickLabelAccessible : public QAccessibleWidget {
  public:
    explicit ClickLabelAccessible(ClickLabel* label) : QAccessibleWidget(label, label->role()) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && label()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (role() == QAccessible::CheckBox) {
            s.checkable = true;
            s.checked = label()->isChecked();
        }
        return s;
    }
    QStringList actionNames() const override {
        return {role() == QAccessible::CheckBox ? toggleAction() : pressAction(), setFocusAction()};
    }
    void doAction(const QString& name) override {
        if (name == toggleAction() || name == pressAction())
            emit label()->clicked();
        else
            QAccessibleWidget::doAction(name);
    }

  private:
    ClickLabel* label() const { return static_cast<ClickLabel*>(widget()); }
};

// A drop-down list named by its caption. Qt names one by its current item on
// this platform and leaves the caption to a relation that not every screen
// reader follows; with a name set, the item is its value.
class NamedComboAccessible : public QAccessibleWidget {
  public:
    explicit NamedComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), setFocusAction()}; }
    void doAction(const QString& name) override {
        if (name == showMenuAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

  private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* chart = qobject_cast<StripChart*>(object))
        return new Accessible<StripChart>(chart, QAccessible::Chart);
    if (auto* gauge = qobject_cast<LinearGauge*>(object)) return new GaugeAccessible(gauge);
    if (auto* lamp = qobject_cast<Lamp*>(object))
        return new Accessible<Lamp>(lamp, QAccessible::Graphic);
    if (auto* label = qobject_cast<ClickLabel*>(object)) return new ClickLabelAccessible(label);
    if (auto* arrow = qobject_cast<StripChartArrow*>(object))
        return new QAccessibleWidget(arrow, QAccessible::Slider);
    return nullptr;
}

}  // namespace

void installWidgetAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

void NameByCaptions(QWidget* window) {
    installWidgetAccessibility();
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        QWidget* control = label->buddy();
        if (!control || !control->accessibleName().isEmpty()) continue;
        control->setAccessibleName(QString(label->text()).remove(QLatin1Char('&')));
        // Qt's own interface would go on naming it by its item; ours is
        // registered before anyone asks for one.
        if (auto* combo = qobject_cast<QComboBox*>(control))
            QAccessible::registerAccessibleInterface(new NamedComboAccessible(combo));
    }
}

}  // namespace quarnel
