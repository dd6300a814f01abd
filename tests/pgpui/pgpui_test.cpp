// The PGP window tests, one group per area: "pgpui_test GROUP [QtTest options]" runs one group,
// "pgpui_test" alone runs them all.
#include <QApplication>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace kestrova::test {

std::unique_ptr<QObject> makeDialogsTest();
std::unique_ptr<QObject> makeRunnerTest();

} // namespace kestrova::test

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    using Factory = std::unique_ptr<QObject> (*)();
    const std::pair<const char*, Factory> groups[] = {
        {"dialogs", kestrova::test::makeDialogsTest},
        {"runner", kestrova::test::makeRunnerTest},
    };
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
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
        std::fprintf(stderr, "pgpui_test: no group named %s\n", only);
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
