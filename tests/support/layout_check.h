// Checks of a window's layout as a reader sees it: captions shown whole, nothing overlapping,
// and a modal dialog's frame that keeps it with the window it was opened over.
#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace kestrova::test {

// A visible control that shows a caption or takes input, with its rectangle in the root's
// coordinates.
struct PlacedControl
{
    QWidget* widget;
    QRect rect;
};

// The visible controls inside root; the parts of composite controls (a combo box's edit) are
// left out.
inline std::vector<PlacedControl> visibleControls(QWidget& root)
{
    std::vector<PlacedControl> controls;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root))
            continue;
        const bool part = qobject_cast<QComboBox*>(widget->parentWidget()) ||
                          qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
        const bool control = qobject_cast<QLabel*>(widget) ||
                             qobject_cast<QAbstractButton*>(widget) ||
                             qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget) ||
                             qobject_cast<QPlainTextEdit*>(widget);
        if (part || !control)
            continue;
        controls.push_back({widget, QRect(widget->mapTo(&root, QPoint(0, 0)), widget->size())});
    }
    return controls;
}

inline QString controlName(const QWidget* widget)
{
    return widget->objectName().isEmpty() ? widget->property("text").toString()
                                          : widget->objectName();
}

// Why the control cannot show its caption, or its text, whole; empty when it can.
inline QString cutFault(const PlacedControl& c)
{
    const auto* label = qobject_cast<const QLabel*>(c.widget);
    const bool wrapped = label && label->wordWrap();
    const bool captioned = label || qobject_cast<QAbstractButton*>(c.widget);
    const int needHeight =
        wrapped ? label->heightForWidth(c.rect.width()) : c.widget->minimumSizeHint().height();
    const int needWidth = captioned && !wrapped ? c.widget->sizeHint().width() : 0;
    if (c.rect.width() >= needWidth && c.rect.height() >= needHeight)
        return {};
    return QStringLiteral("%1 is cut off: %2 x %3 of %4 x %5")
        .arg(controlName(c.widget))
        .arg(c.rect.width())
        .arg(c.rect.height())
        .arg(needWidth)
        .arg(needHeight);
}

// Every caption shown whole, no two controls overlapping, every control inside area; the
// first fault found, or empty.
inline QString layoutFault(QWidget& root, const QRect& area)
{
    const std::vector<PlacedControl> controls = visibleControls(root);
    for (const PlacedControl& c : controls) {
        if (const QString cut = cutFault(c); !cut.isEmpty())
            return cut;
        if (!area.contains(c.rect))
            return controlName(c.widget) + QStringLiteral(" lies outside its area");
        for (const PlacedControl& other : controls) {
            if (&other != &c && other.rect.intersects(c.rect))
                return controlName(c.widget) + QStringLiteral(" overlaps ") +
                       controlName(other.widget);
        }
    }
    return {};
}

// For a dialog shown over owner: no minimise or maximise box, transient for the owner's window,
// and back on screen at once when something minimises it. The first fault found, or empty.
inline QString dialogFrameFault(QDialog& dialog, QWidget& owner)
{
    const Qt::WindowFlags flags = dialog.windowFlags();
    if (flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
        return QStringLiteral("it asks for a minimise or maximise box");
    // Without this, the window manager decides which boxes the frame gets.
    if (!(flags & Qt::CustomizeWindowHint) || !(flags & Qt::WindowCloseButtonHint))
        return QStringLiteral("its frame's boxes are left to the window manager");
    if (!dialog.windowHandle() || dialog.windowHandle()->transientParent() != owner.windowHandle())
        return QStringLiteral("it is not transient for its owner");
    dialog.setWindowState(dialog.windowState() | Qt::WindowMinimized);
    if (!QTest::qWaitFor([&] { return !(dialog.windowState() & Qt::WindowMinimized); }, 5000))
        return QStringLiteral("it stays minimised");
    if (!dialog.isVisible())
        return QStringLiteral("it was hidden");
    return {};
}

} // namespace kestrova::test
