// The window tests, one group per area: "shell_test GROUP [QtTest options]" runs one group,
// "shell_test" alone runs them all.
#include "shell_support.h"

#include <QApplication>
#include <QTest>

#include <cstring>

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

} // namespace kestrova::test

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    using Factory = std::unique_ptr<QObject> (*)();
    const std::pair<const char*, Factory> groups[] = {
        {"startup", kestrova::test::makeStartupTest},
        {"undo", kestrova::test::makeUndoTest},
        {"plugin", kestrova::test::makePluginTest},
        {"clipboard", kestrova::test::makeClipboardTest},
        {"settings", kestrova::test::makeSettingsTest},
        {"files", kestrova::test::makeFilesTest},
        {"keys", kestrova::test::makeKeysTest},
        {"ruler", kestrova::test::makeRulerTest},
        {"layout", kestrova::test::makeLayoutTest},
    };
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    // QtTest sees the program name and the options after the group.
    std::vector<char*> args{argv[0]};
    for (int i = only ? 2 : 1; i < argc; ++i)
        args.push_back(argv[i]);

    int failed = 0;
    bool found = false;
    for (const auto& [name, make] : groups) {
        if (only && std::strcmp(only, name) != 0)
            continue;
        found = true;
        const std::unique_ptr<QObject> group = make();
        failed += QTest::qExec(group.get(), static_cast<int>(args.size()), args.data());
    }
    if (!found) {
        std::fprintf(stderr, "shell_test: no group named %s\n", only);
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
