// What a screen reader would read of a window's controls, through Qt's accessibility
// interfaces, for window tests.
#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace kestrova::test {

// The controls of window (buttons, text boxes, combo boxes, and labels that show a picture
// rather than text) that a screen reader would find without a name worth hearing or without a
// description, each as "objectName "name" (description)". Shown or not: every page counts.
inline QStringList unspokenControls(QWidget* window, int* counted = nullptr)
{
    QStringList unspoken;
    int controls = 0;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        // A label with neither text nor picture (a prompt not yet given) shows nothing to name.
        const bool picture =
            label != nullptr && label->text().isEmpty() && !label->pixmap().isNull();
        if (label != nullptr && !picture)
            continue;
        if (!picture && !qobject_cast<QAbstractButton*>(widget) &&
            !qobject_cast<QLineEdit*>(widget) && !qobject_cast<QComboBox*>(widget) &&
            !qobject_cast<QPlainTextEdit*>(widget))
            continue;
        if (widget->isHidden())
            continue; // hidden by the window itself (an empty prompt): nothing to read
        if (qobject_cast<QComboBox*>(widget->parent()) != nullptr)
            continue; // the editor inside an editable combo box speaks as the box
        ++controls;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        const QString name = iface ? iface->text(QAccessible::Name) : QString();
        const QString description = iface ? iface->text(QAccessible::Description) : QString();
        if (name.isEmpty() || name == QStringLiteral("...") || description.isEmpty())
            unspoken << widget->objectName() + QStringLiteral(" \"") + name +
                            QStringLiteral("\" (") + description + QStringLiteral(")");
    }
    if (counted != nullptr)
        *counted = controls;
    return unspoken;
}

} // namespace kestrova::test
