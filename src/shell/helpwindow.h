// The help window: Kestrova.html shown by the program itself, so that help never depends on
// what the desktop has, with a way on to the desktop's browser.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

class QPushButton;
class QTextBrowser;

namespace kestrova::shell {

class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    // Shows helpFile, an existing HTML file, in font; Esc or "閉じる" closes the window.
    HelpWindow(const QString& helpFile, const QFont& font, QWidget* parent);

    [[nodiscard]] const QString& helpFile() const { return m_helpFile; }
    [[nodiscard]] QTextBrowser* browser() const { return m_browser; }
    [[nodiscard]] QPushButton* openInBrowserButton() const { return m_openInBrowser; }

private slots:
    // Hands the file to the desktop's browser; a desktop without one is reported.
    void openInBrowser();

private:
    QString m_helpFile;
    QTextBrowser* m_browser = nullptr;
    QPushButton* m_openInBrowser = nullptr;
};

} // namespace kestrova::shell
