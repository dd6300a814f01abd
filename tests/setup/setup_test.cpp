// The settings dialog tests, one group per page and one for the dialog as a whole:
// "setup_test GROUP [QtTest options]" runs one group, "setup_test" alone runs them all.
#include <QApplication>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace kestrova::test {

std::unique_ptr<QObject> makeDisplayPageTest();
std::unique_ptr<QObject> makeFlowPageTest();
std::unique_ptr<QObject> makePgpPageTest();
std::unique_ptr<QObject> makeDialogTest();

} // namespace kestrova::test

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    using Factory = std::unique_ptr<QObject> (*)();
    const std::pair<const char*, Factory> groups[] = {
        {"display", kestrova::test::makeDisplayPageTest},
        {"flow", kestrova::test::makeFlowPageTest},
        {"pgp", kestrova::test::makePgpPageTest},
        {"dialog", kestrova::test::makeDialogTest},
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
        std::fprintf(stderr, "setup_test: no group named %s\n", only);
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
