// kestrova: the main window.
#include "version.h"

#include "shell/mainwindow.h"
#include "shell/singleinstance.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrova"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrova::kFileVersion));

    // Qt has taken its own options out; what is left is the argument text, as one line.
    kestrova::shell::StartOptions options;
    options.arguments = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    options.programDir = QApplication::applicationDirPath();
    options.docDir = QStringLiteral(KESTROVA_DOC_DIR);
    options.instanceName = kestrova::shell::defaultInstanceName();

    kestrova::shell::dorUrerUvuroze window(options);
    if (window.Form_Load() == kestrova::shell::StartResult::RaisedRunningCopy)
        return 0;
    window.showAsLoaded();
    return QApplication::exec();
}
