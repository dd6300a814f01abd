// The PGP window tests, one group per area: "pgpui_test GROUP [QtTest options]" runs one group,
// "pgpui_test" alone runs them all.
#include "qtest_groups.h"

namespace kestrova::test {

std::unique_ptr<QObject> makeDialogsTest();
std::unique_ptr<QObject> makeRunnerTest();
std::unique_ptr<QObject> makeWindowTest();

} // namespace kestrova::test

int main(int argc, char** argv)
{
    using namespace kestrova::test;
    const Group groups[] = {
        {"dialogs", makeDialogsTest},
        {"runner", makeRunnerTest},
        {"window", makeWindowTest},
    };
    return runGroups(argc, argv, groups);
}
