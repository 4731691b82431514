#include "widgets/WidgetAccessibility.h"

#include <QAccessibleWidget>

#include "widgets/Lamp.h"
#include "widgets/LinearGauge.h"
#include "widgets/StripChart.h"

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

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* chart = qobject_cast<StripChart*>(object))
        return new Accessible<StripChart>(chart, QAccessible::Chart);
    if (auto* gauge = qobject_cast<LinearGauge*>(object))
        return new Accessible<LinearGauge>(gauge, QAccessible::Slider);
    if (auto* lamp = qobject_cast<Lamp*>(object))
        return new Accessible<Lamp>(lamp, QAccessible::Indicator);
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

}  // namespace quarnel
