// The settings dialog tests, one group per page and one for the dialog as a whole.
#include "qtest_groups.h"

namespace kestrova::test {

std::unique_ptr<QObject> makeNumbersTest();
std::unique_ptr<QObject> makeDisplayPageTest();
std::unique_ptr<QObject> makeFlowPageTest();
std::unique_ptr<QObject> makePgpPageTest();
std::unique_ptr<QObject> makeDialogTest();

} // namespace kestrova::test

int main(int argc, char** argv)
{
    using namespace kestrova::test;
    const Group groups[] = {
        {"numbers", makeNumbersTest}, {"display", makeDisplayPageTest}, {"flow", makeFlowPageTest},
        {"pgp", makePgpPageTest},     {"dialog", makeDialogTest},
    };
    return runGroups(argc, argv, groups);
}
