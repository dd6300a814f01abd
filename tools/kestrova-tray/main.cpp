// kestrova-tray: runs Kestrova's clipboard PGP commands with GnuPG for the window and for
// the user, from the desktop's tray.
#include "pgp/trayprotocol.h"
#include "tray/trayapp.h"
#include "tray/trayjobs.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // On Wayland a program may use the clipboard only while it has the keyboard focus, which a
    // tray program never has: X11 first, through XWayland, where the clipboard is shared
    // whatever has the focus; Wayland itself only where no XWayland runs.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrova-tray"));
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
