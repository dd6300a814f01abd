// Controls made the dialog's way: named as the program calls them, and buttons that do not
// take over Enter from "戻る" when they have the focus.
#pragma once

#include <QPushButton>
#include <QString>

namespace kestrova::setup {

inline QPushButton* makeButton(const QString& caption, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace kestrova::setup
