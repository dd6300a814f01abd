#include "platform/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace kestrova::platform {

QString qtTranslationFile()
{
    return QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        .filePath(QStringLiteral("qtbase_ja.qm"));
}

bool installQtTranslation(QCoreApplication& app)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(qtTranslationFile()) ||
        !QCoreApplication::installTranslator(translator.get())) {
        std::fprintf(stderr,
                     "kestrova: %s cannot be read (Debian: qt6-translations-l10n); Qt's "
                     "standard buttons stay in English\n",
                     qUtf8Printable(qtTranslationFile()));
        return false;
    }
    translator.release()->setParent(&app); // lives as long as the application
    return true;
}

} // namespace kestrova::platform
