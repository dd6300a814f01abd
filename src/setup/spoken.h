// What a screen reader says of the settings dialog's controls.
#pragma once

class QWidget;

namespace kestrova::setup {

// Gives each control of dialog, found by its name, a description of what it does, and a name
// where its caption says too little ("...", none, or no label beside it).
void describeControls(QWidget* dialog);

} // namespace kestrova::setup
