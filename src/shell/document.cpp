#include "shell/document.h"

namespace kestrova::shell {

void Document::startPlugin(const QString& file)
{
    PluginFile = file;
    PluginMode = true;
    Modified = false;
}

void Document::leavePlugin()
{
    PluginMode = false;
    PluginFile.clear();
    Modified = false;
}

void Document::changed()
{
    if (PluginMode)
        Modified = true;
}

} // namespace kestrova::shell
