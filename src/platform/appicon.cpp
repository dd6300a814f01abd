#include "platform/appicon.h"

#include <QString>

namespace kestrova::platform {

namespace {

QString builtInPath(int size)
{
    return QStringLiteral(":/kestrova/icons/kestrova-%1.png").arg(size);
}

} // namespace

QPixmap appIconPixmap(int size) { return QPixmap(builtInPath(size)); }

QIcon appIcon()
{
    QIcon builtIn;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(builtInPath(size), QSize(size, size));
    return QIcon::fromTheme(QString::fromLatin1(kIconName), builtIn);
}

} // namespace kestrova::platform
