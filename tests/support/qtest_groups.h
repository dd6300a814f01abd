// A main for a window test executable made of groups: "NAME_test GROUP [QtTest options]" runs
// one group, "NAME_test" alone runs them all. CTest runs each group as a test of its own.
#pragma once

#include <QApplication>
#include <QObject>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace kestrova::test {

using GroupFactory = std::unique_ptr<QObject> (*)();
using Group = std::pair<const char*, GroupFactory>;

// Runs the groups offscreen unless the caller chose a platform; the exit status of main.
inline int runGroups(int argc, char** argv, std::span<const Group> groups)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

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
        std::fprintf(stderr, "%s: no group named %s\n", argv[0], only);
        return 2;
    }
    return failed == 0 ? 0 : 1;
}

} // namespace kestrova::test
