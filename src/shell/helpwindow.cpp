#include "shell/helpwindow.h"

#include "io/result.h"
#include "platform/messages.h"
#include "platform/qtext.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrova::shell {

HelpWindow::HelpWindow(const QString& helpFile, const QFont& font, QWidget* parent)
    : QDialog(parent)
    , m_helpFile(QFileInfo(helpFile).absoluteFilePath())
{
    setObjectName(QStringLiteral("helpWindow"));
    // Beside the main window, not over it: the user reads the help while working.
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);

    m_browser = new QTextBrowser(this);
    m_browser->setFont(font);
    m_browser->document()->setDefaultFont(font);
    // Links to the web go to the desktop's browser; the help's own pages stay here.
    m_browser->setOpenExternalLinks(true);
    // Tab goes on to the buttons, so that the keyboard reaches "ブラウザで開く".
    m_browser->setTabChangesFocus(true);
    m_browser->setSource(QUrl::fromLocalFile(m_helpFile));
    m_browser->setAccessibleName(QStringLiteral("ヘルプ"));
    m_browser->setAccessibleDescription(QStringLiteral("Kestrova の使い方"));

    auto* buttons = new QDialogButtonBox(this);
    m_openInBrowser =
        buttons->addButton(QStringLiteral("ブラウザで開く"), QDialogButtonBox::ActionRole);
    m_openInBrowser->setAccessibleDescription(
        QStringLiteral("このヘルプをデスクトップのブラウザで開きます"));
    QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setAccessibleDescription(QStringLiteral("ヘルプのウィンドウを閉じます"));
    for (QPushButton* button : {m_openInBrowser, close})
        button->setAutoDefault(false);
    connect(m_openInBrowser, &QPushButton::clicked, this, &HelpWindow::openInBrowser);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);

    const QString title = m_browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Kestrova ヘルプ") : title);
    setAccessibleDescription(QStringLiteral("Kestrova のヘルプ"));
    // About forty full-width characters a line and twenty-five lines, in the help's font.
    const QFontMetrics metrics(font);
    resize(metrics.horizontalAdvance(QString(40, QChar(0x3042))) + 80,
           metrics.lineSpacing() * 25 + 80);
    m_browser->setFocus();
}

void HelpWindow::openInBrowser()
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_helpFile)))
        platform::showIoError(this, QStringLiteral("ヘルプをブラウザで開けませんでした。"),
                              io::IoError{io::IoErrorKind::Other, platform::toFsPath(m_helpFile),
                                          "no program to show it was found"});
}

} // namespace kestrova::shell
