// The settings file as the window uses it: read at start with what could not be read told to
// the user, written at exit with a damaged file kept beside the new one.
#pragma once

#include "io/result.h"
#include "settings/settingsfile.h"

#include <QString>

#include <optional>

class QWidget;

namespace kestrova::shell {

// What the user must be told after reading: the message and the file it is about.
struct SettingsReport
{
    QString message;
    io::IoError error;
};

class SettingsStore
{
public:
    // Reads path into settings and geometry; damage is reported, and the file is then kept
    // as path + ".bak" when the new one is written.
    [[nodiscard]] std::optional<SettingsReport>
    load(const QString& path, settings::Settings& settings, settings::WindowGeometry& geometry);

    // Writes path; a failure is reported in a message box with parent.
    [[nodiscard]] bool save(QWidget* parent, const QString& path,
                            const settings::Settings& settings,
                            const settings::WindowGeometry& geometry);

private:
    bool m_keepOldSettings = false;
};

} // namespace kestrova::shell
