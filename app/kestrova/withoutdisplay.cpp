#include "withoutdisplay.h"

#include "version.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::app {

namespace {

constexpr const char* kUsage =
    "Usage: kestrova [FILE]\n"
    "       kestrova -f FILE\n"
    "Prepares Japanese plain text for mail and news, in a window.\n"
    "\n"
    "  (no FILE)   take the text on the clipboard\n"
    "  FILE        open FILE and put its text on the clipboard as well\n"
    "  -f FILE     plug-in mode, for mail programs and editors: edit FILE, save back to it\n"
    "              (set editor=\"kestrova -f\" in mutt, GIT_EDITOR=\"kestrova -f\" for git)\n"
    "  --help      print this help and end\n"
    "  --version   print the version and end\n"
    "\n"
    "Without a display the window cannot open: kestrova then ends with status 2.\n"
    "kestrova-cli does the same work in a pipe, without a window. See kestrova(1).\n";

void printLine(const std::string& line) { std::fprintf(stderr, "kestrova: %s\n", line.c_str()); }

// The platform asked for with -platform or QT_QPA_PLATFORM; empty when Qt chooses.
QByteArray requestedPlatform(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// xcb and wayland need a display server; offscreen, vnc, eglfs and the like do not.
bool needsDisplayServer(const QByteArray& platform)
{
    return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
}

std::string displaysNamed()
{
    std::string named;
    for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        const QByteArray value = qgetenv(name);
        if (value.isEmpty())
            continue;
        named += named.empty() ? " (" : ", ";
        named += std::string(name) + "=" + value.toStdString();
    }
    return named.empty() ? std::string() : named + ")";
}

// Qt's message handler is a plain function: what it keeps back is here, while the one
// DisplayGuard lives.
struct HeldMessage
{
    QtMsgType type;
    std::string category, file, function;
    int line;
    QString text;
};
QtMessageHandler g_previous = nullptr;
std::vector<HeldMessage> g_held;

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        // Qt would abort now, and a program that runs kestrova as its editor would see a crash.
        const std::string line = "cannot open the window: no display could be reached" +
                                 displaysNamed() + "; kestrova-cli works without one";
        printLine(line);
        std::fflush(stderr);
        std::_Exit(kExitNoDisplay);
    }
    g_held.push_back({type, context.category ? context.category : "",
                      context.file ? context.file : "", context.function ? context.function : "",
                      context.line, text});
}

} // namespace

std::optional<int> answerBeforeDisplay(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kestrova %s (%s)\n%s\n", kFileVersion, kProductName, kCopyright);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (needsDisplayServer(requestedPlatform(argc, argv)) && qgetenv("DISPLAY").isEmpty() &&
        qgetenv("WAYLAND_DISPLAY").isEmpty()) {
        printLine("no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                  "set); kestrova-cli works without one");
        return kExitNoDisplay;
    }
    return std::nullopt;
}

DisplayGuard::DisplayGuard() { g_previous = qInstallMessageHandler(holdMessage); }

DisplayGuard::~DisplayGuard()
{
    qInstallMessageHandler(g_previous);
    const std::vector<HeldMessage> held = std::exchange(g_held, {});
    for (const HeldMessage& m : held) {
        const QMessageLogContext context(m.file.c_str(), m.line, m.function.c_str(),
                                         m.category.c_str());
        g_previous(m.type, context, m.text);
    }
}

} // namespace kestrova::app
