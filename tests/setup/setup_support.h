// What the settings dialog tests share: the controls by name, a dialog shown on a record,
// and a way to answer the modal windows a click opens.
#pragma once

#include "layout_check.h"
#include "modal_answer.h"

#include "setup/setupdialog.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace kestrova::test {

// A control of the dialog by its name ("txtColumns", "optPgpVer(1)"); fails the test when the
// dialog has none of that name and kind.
template <class T> T* control(QWidget& dialog, const QString& name)
{
    T* found = dialog.findChild<T*>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// The dialog on the record, shown (offscreen) and laid out, with its beeps counted.
struct OpenDialog
{
    std::unique_ptr<setup::fomSetup> dialog;
    int beeps = 0;
};
[[nodiscard]] std::unique_ptr<OpenDialog> openDialog(settings::Settings& settings,
                                                     setup::FontNameCache& cache);

// Sets or clears an environment variable for the life of the object, restoring it after.
class EnvironmentValue
{
public:
    EnvironmentValue(const char* name, const QString* value);
    ~EnvironmentValue();
    EnvironmentValue(const EnvironmentValue&) = delete;
    EnvironmentValue& operator=(const EnvironmentValue&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// Saves the window as a PNG in $KESTROVA_SCREENSHOT_DIR when that is set, to be looked at.
void saveScreenshot(QWidget& window, const QString& name);

// PGPPATH, TZ and PGPPASS unset for the life of the object, so that the dialog's boxes show
// only what a test gives them.
class WithoutPgpEnvironment
{
public:
    WithoutPgpEnvironment();

private:
    EnvironmentValue m_pgpPath;
    EnvironmentValue m_timeZone;
    EnvironmentValue m_passPhrase;
};

// Clicks "戻る".
void confirm(QWidget& dialog);

// Types text at the end of a line edit as a user would, key by key.
void typeAtEnd(QWidget* edit, const QString& text);

} // namespace kestrova::test
