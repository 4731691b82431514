// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/WidgetAccessibility.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QWindow>
#include <vector>

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

// A part of one of our painted controls that has no widget of its own (a
// gauge's limit marker, a chart's legend entry). Its owner's interface keeps
// it registered while the owner lives, so events can name it as a child.
class PartAccessible : public QAccessibleInterface {
  public:
    PartAccessible(QWidget* owner, int index, QAccessible::Role role)
        : owner_(owner), index_(index), role_(role) {}

    bool isValid() const override { return owner_; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_ ? owner_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!owner_) return {};
        const QRect area = this->area();
        return QRect(owner_->mapToGlobal(area.topLeft()), area.size());
    }
    QAccessible::Role role() const override { return role_; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = !owner_ || !owner_->isVisible();
        s.disabled = owner_ && !owner_->isEnabled();
        return s;
    }

  protected:
    virtual QRect area() const = 0;  // in the owner's coordinates

    QPointer<QWidget> owner_;
    int index_;
    QAccessible::Role role_;
};

// The parts of one owner, made when first asked for and deleted with it.
class Parts {
  public:
    ~Parts() {
        for (QAccessible::Id id : ids_) QAccessible::deleteAccessibleInterface(id);
    }
    template <typename Make>
    QAccessibleInterface* at(int index, Make make) {
        if (index < 0) return nullptr;
        while (int(ids_.size()) <= index)
            ids_.push_back(QAccessible::registerAccessibleInterface(make(int(ids_.size()))));
        return QAccessible::accessibleInterface(ids_[index]);
    }
    int indexOf(const QAccessibleInterface* part) const {
        for (int i = 0; i < int(ids_.size()); ++i)
            if (QAccessible::accessibleInterface(ids_[i]) == part) return i;
        return -1;
    }

  private:
    std::vector<QAccessible::Id> ids_;
};

// A limit marker: a slider named by its gauge and limit ("Internal high
// limit") whose value is the limit.
class MarkerAccessible : public PartAccessible, public QAccessibleValueInterface {
  public:
    MarkerAccessible(LinearGauge* gauge, int child)
        : PartAccessible(gauge, child, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        if (!owner_) return {};
        const QString name =
            gauge()->accessibleName().isEmpty() ? gauge()->caption() : gauge()->accessibleName();
        if (t == QAccessible::Name)
            return name + (marker() == LinearGauge::HighMarker ? QStringLiteral(" high limit")
                                                               : QStringLiteral(" low limit"));
        return t == QAccessible::Value ? gauge()->limitText(marker()) : QString();
    }
    QAccessible::State state() const override {
        QAccessible::State s = PartAccessible::state();
        s.focusable = true;
        s.focused = owner_ && gauge()->hasFocus() && gauge()->selectedMarker() == marker();
        return s;
    }
    QVariant currentValue() const override {
        return owner_ ? gauge()->pointerValue(marker()) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        if (owner_) gauge()->moveMarker(marker(), value.toDouble());
    }
    QVariant maximumValue() const override { return owner_ ? gauge()->scaleMax() : QVariant(); }
    QVariant minimumValue() const override { return owner_ ? gauge()->scaleMin() : QVariant(); }
    QVariant minimumStepSize() const override { return owner_ ? gauge()->step() : QVariant(); }

  private:
    QRect area() const override { return gauge()->markerArea(marker()); }
    LinearGauge* gauge() const { return static_cast<LinearGauge*>(owner_.data()); }
    int marker() const { return LinearGauge::markerOfChild(index_); }
};

// A gauge shows a reading and holds two limit markers: a group named by its
// caption whose value is the reading, with the markers as its children.
class GaugeAccessible : public Accessible<LinearGauge>, public QAccessibleValueInterface {
  public:
    explicit GaugeAccessible(LinearGauge* gauge) : Accessible(gauge, QAccessible::Grouping) {}

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
    int childCount() const override { return 2; }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index > 1) return nullptr;
        return markers_.at(index, [this](int i) { return new MarkerAccessible(gauge(), i); });
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return markers_.indexOf(child);
    }
    QAccessibleInterface* focusChild() const override {
        return gauge()->hasFocus() ? child(LinearGauge::childOfMarker(gauge()->selectedMarker()))
                                   : nullptr;
    }
    QVariant currentValue() const override { return gauge()->reading(); }
    void setCurrentValue(const QVariant&) override {}  // the reading is the chip's
    QVariant maximumValue() const override { return gauge()->scaleMax(); }
    QVariant minimumValue() const override { return gauge()->scaleMin(); }
    QVariant minimumStepSize() const override { return gauge()->step(); }

  private:
    LinearGauge* gauge() const { return static_cast<LinearGauge*>(widget()); }
    mutable Parts markers_;
};

// A legend entry of a chart: the text beside its trace, "Internal=25.5°C".
class LegendAccessible : public PartAccessible {
  public:
    LegendAccessible(StripChart* chart, int index)
        : PartAccessible(chart, index, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && owner_ ? chart()->channelLabel(index_ + 1) : QString();
    }

  private:
    QRect area() const override { return chart()->legendEntryRect(index_ + 1); }
    StripChart* chart() const { return static_cast<StripChart*>(owner_.data()); }
};

// A chart named by its title; its legend entries come first among its
// children, so a reading is found by what the legend shows.
class ChartAccessible : public Accessible<StripChart> {
  public:
    explicit ChartAccessible(StripChart* chart) : Accessible(chart, QAccessible::Chart) {}

    int childCount() const override { return entries() + Accessible::childCount(); }
    QAccessibleInterface* child(int index) const override {
        if (index >= entries()) return Accessible::child(index - entries());
        return legend_.at(index, [this](int i) { return new LegendAccessible(chart(), i); });
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const int entry = legend_.indexOf(child);
        if (entry >= 0) return entry < entries() ? entry : -1;
        const int index = Accessible::indexOfChild(child);
        return index < 0 ? -1 : entries() + index;
    }

  private:
    StripChart* chart() const { return static_cast<StripChart*>(widget()); }
    int entries() const { return chart()->channelCount(); }
    mutable Parts legend_;
};

// A clickable label: pressed (a link) or toggled (a check box) like a button.
class ClickLabelAccessible : public QAccessibleWidget {
  public:
    explicit ClickLabelAccessible(ClickLabel* label) : QAccessibleWidget(label, label->role()) {}

    // The window gives the role after the form is built; by then a screen
    // reader may already hold this interface.
    QAccessible::Role role() const override { return label()->role(); }

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

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* chart = qobject_cast<StripChart*>(object)) return new ChartAccessible(chart);
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
        if (!control || !control->accessibleName().isEmpty() || qobject_cast<QComboBox*>(control))
            continue;
        control->setAccessibleName(QString(label->text()).remove(QLatin1Char('&')));
    }
}

void SetAccessibleName(QWidget* control, const QString& name) {
    if (control->accessibleName() != name) control->setAccessibleName(name);
}

}  // namespace quarnel
