#include "ruler/ruleraccessible.h"

#include "platform/accessible.h"
#include "ruler/ruler.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace kestrova::ruler {

namespace {

constexpr int kScaleEnd = 1000;

class RulerAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit RulerAccessible(ColumnRuler* ruler)
        : QAccessibleWidget(ruler, QAccessible::Slider)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return ColumnRuler::kAccessibleName;
        case QAccessible::Value:
            return QString::number(ruler()->columns());
        case QAccessible::Description:
            return ColumnRuler::kAccessibleDescription;
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QVariant currentValue() const override { return ruler()->columns(); }
    void setCurrentValue(const QVariant& value) override
    {
        bool isNumber = false;
        const int columns = value.toInt(&isNumber);
        if (isNumber)
            ruler()->chooseColumns(columns);
    }
    QVariant maximumValue() const override { return kScaleEnd; }
    QVariant minimumValue() const override { return 1; }
    QVariant minimumStepSize() const override { return 1; }

private:
    [[nodiscard]] ColumnRuler* ruler() const { return static_cast<ColumnRuler*>(widget()); }
};

} // namespace

void registerRulerAccessibility() { platform::registerAccessible<ColumnRuler, RulerAccessible>(); }

} // namespace kestrova::ruler
