// The window tests, one group per area: "shell_test GROUP [QtTest options]" runs one group,
// "shell_test" alone runs them all.
#include "qtest_groups.h"
#include "shell_support.h"

namespace kestrova::test {

std::unique_ptr<QObject> makeStartupTest();
std::unique_ptr<QObject> makeUndoTest();
std::unique_ptr<QObject> makePluginTest();
std::unique_ptr<QObject> makeClipboardTest();
std::unique_ptr<QObject> makeSettingsTest();
std::unique_ptr<QObject> makeFilesTest();
std::unique_ptr<QObject> makeKeysTest();
std::unique_ptr<QObject> makeRulerTest();
std::unique_ptr<QObject> makeLayoutTest();
std::unique_ptr<QObject> makeHelpTest();
std::unique_ptr<QObject> makeAccessibilityTest();

} // namespace kestrova::test

int main(int argc, char** argv)
{
    using namespace kestrova::test;
    const Group groups[] = {
        {"startup", makeStartupTest},
        {"undo", makeUndoTest},
        {"plugin", makePluginTest},
        {"clipboard", makeClipboardTest},
        {"settings", makeSettingsTest},
        {"files", makeFilesTest},
        {"keys", makeKeysTest},
        {"ruler", makeRulerTest},
        {"layout", makeLayoutTest},
        {"help", makeHelpTest},
        {"accessibility", makeAccessibilityTest},
    };
    return runGroups(argc, argv, groups);
}
