// kestrova-tray: runs Kestrova's clipboard PGP commands with GnuPG for the window and for
// the user, from the desktop's tray.
#include "pgp/trayprotocol.h"
#include "tray/trayapp.h"
#include "tray/trayjobs.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kNeedsXWayland[] =
    "kestrova-tray: Wayland では、ほかのウィンドウにフォーカスがある間クリップボードを読み書き"
    "できないため、署名や暗号化の結果がほかのプログラムに届きません。XWayland を通して起動して"
    "ください (QT_QPA_PLATFORM=xcb kestrova-tray。Debian の xwayland が要ります)。";

} // namespace

int main(int argc, char* argv[])
{
    // On Wayland a program may use the clipboard only while it has the keyboard focus, which a
    // tray program never has: X11, through XWayland, where the clipboard is shared whatever has
    // the focus. Wayland stays second only so that, where no XWayland runs, the tray can say
    // so in a window.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrova-tray"));
    // There every command would find a stale or empty clipboard and its result would never
    // reach Kestrova, while the socket answered "done": refuse to start instead.
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland"))) {
        std::fprintf(stderr, "%s\n", kNeedsXWayland);
        QMessageBox::critical(nullptr, QStringLiteral("kestrova-tray"),
                              QString::fromUtf8(kNeedsXWayland));
        // Qt's Wayland client now and then hangs for good while it disconnects at exit, and
        // nothing was taken here that needs giving back: end at once.
        std::fflush(stderr);
        std::_Exit(1);
    }
    // Closing the result window must not end the program: it lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    kestrova::tray::TrayApp tray(kestrova::tray::trayGpgFromEnvironment(),
                                 QString::fromStdString(kestrova::pgp::traySocketPath()));
    QString why;
    switch (tray.start(&why)) {
    case kestrova::tray::TrayApp::Start::AlreadyRunning:
        std::fputs("kestrova-tray は既に起動しています。\n", stderr);
        return 0;
    case kestrova::tray::TrayApp::Start::Failed:
        std::fprintf(stderr, "kestrova-tray: 待ち受けできません: %s\n", qUtf8Printable(why));
        return 1;
    case kestrova::tray::TrayApp::Start::Listening:
        break;
    }
    tray.showFace();
    return QApplication::exec();
}
