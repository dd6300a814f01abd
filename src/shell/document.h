// The window's document: the plug-in file the text belongs to, whether the text has changed
// since that file was read or saved, and the file last read or saved.
#pragma once

#include <QString>

namespace kestrova::shell {

struct Document
{
    // Plug-in mode on file: from now on the text is that file's, as it was read.
    void startPlugin(const QString& file);
    // Plug-in mode given up: writing back into a file that could not be read would destroy it.
    void leavePlugin();
    // The text changed: a plug-in file no longer holds it.
    void changed();
    // The text is the plug-in file's again: it was just read from it or written into it.
    void inStep() { Modified = false; }
    // Leaving now would lose what the plug-in file does not hold yet.
    [[nodiscard]] bool unsaved() const { return PluginMode && Modified; }

    bool PluginMode = false; // started with -f: the text is that file's
    QString PluginFile;
    bool Modified = false;
    QString CurrentFile; // the file last read or saved, which the file dialogs offer first
};

} // namespace kestrova::shell
