// F1 and the help window: the help shown by the program itself, in the text's font, Esc to
// close, one window however often F1 is pressed, and a missing help file named.
#include "shell_support.h"

#include "shell/helpwindow.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

// The help the program ships, beside the program as in the build tree.
std::unique_ptr<shell::dorUrerUvuroze> shownWithHelp(const Sandbox& sandbox)
{
    Sandbox::writeFile(QDir(sandbox.programDir()).filePath(QStringLiteral("Kestrova.html")),
                       Sandbox::readFile(QStringLiteral(KESTROVA_HELP_FILE)));
    auto w = startWindow(sandbox);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("the window was not shown");
    ShellTestAccess::txtData(*w)->setFocus();
    return w;
}

QList<shell::HelpWindow*> helpWindows(QWidget* w)
{
    return w->findChildren<shell::HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

class HelpTest : public QObject
{
    Q_OBJECT

private slots:
    void f1ShowsTheHelpFileInAWindowOfItsOwn()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("本文"));
        auto w = shownWithHelp(sandbox);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QTRY_COMPARE(helpWindows(w.get()).size(), 1);
        shell::HelpWindow* help = helpWindows(w.get()).first();
        QTRY_VERIFY(help->isVisible());
        QCOMPARE(help->browser()->source(), QUrl::fromLocalFile(ShellTestAccess::HelpFile(*w)));
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("基本の使い方")));
        QCOMPARE(help->windowTitle(), QStringLiteral("Kestrova の使い方"));
        QCOMPARE(help->openInBrowserButton()->text(), QStringLiteral("ブラウザで開く"));
        // The program's fonts: the help's running text is in the face the text box has, not
        // in whatever the desktop calls sans-serif.
        const QTextDocument* page = help->browser()->document();
        const QTextBlock paragraph = page->find(QStringLiteral("ツールです")).block();
        QVERIFY(paragraph.isValid());
        const QFont shown = paragraph.charFormat().font().resolve(page->defaultFont());
        QCOMPARE(QFontInfo(shown).family(),
                 QFontInfo(ShellTestAccess::txtData(*w)->font()).family());
    }

    void f1AgainBringsTheSameWindowBack()
    {
        Sandbox sandbox;
        auto w = shownWithHelp(sandbox);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QTRY_COMPARE(helpWindows(w.get()).size(), 1);
        helpWindows(w.get()).first()->hide();
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QCOMPARE(helpWindows(w.get()).size(), 1);
        QTRY_VERIFY(helpWindows(w.get()).first()->isVisible());
    }

    void escClosesTheHelpWindow()
    {
        Sandbox sandbox;
        auto w = shownWithHelp(sandbox);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QTRY_COMPARE(helpWindows(w.get()).size(), 1);
        shell::HelpWindow* help = helpWindows(w.get()).first();
        QTRY_VERIFY(help->isVisible());
        QTest::keyClick(help->browser(), Qt::Key_Escape);
        QTRY_VERIFY(!help->isVisible());
        QVERIFY(w->isVisible());
    }

    void withoutABrowserOpenInBrowserSaysSoAndTheHelpStays()
    {
        Sandbox sandbox;
        auto w = shownWithHelp(sandbox);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QTRY_COMPARE(helpWindows(w.get()).size(), 1);
        shell::HelpWindow* help = helpWindows(w.get()).first();
        // No program on the PATH can show a page.
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(sandbox.path(QStringLiteral("no-programs"))));
        ModalDriver driver;
        help->openInBrowserButton()->click();
        qputenv("PATH", path);
        QTRY_COMPARE(driver.boxes().size(), std::size_t{1});
        QVERIFY(driver.boxes()[0].text.contains(
            QStringLiteral("ヘルプをブラウザで開けませんでした。")));
        QVERIFY(driver.boxes()[0].text.contains(help->helpFile()));
        QVERIFY(help->isVisible());
    }

    void aMissingHelpFileIsNamedAndNoWindowOpens()
    {
        Sandbox sandbox;
        auto w = startWindow(sandbox); // no Kestrova.html anywhere
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        ModalDriver driver;
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_F1);
        QTRY_COMPARE(driver.boxes().size(), std::size_t{1});
        QVERIFY(
            driver.boxes()[0].text.contains(QStringLiteral("ヘルプファイルが見つかりません。")));
        QVERIFY(driver.boxes()[0].text.contains(QStringLiteral("Kestrova.html")));
        QVERIFY(helpWindows(w.get()).isEmpty());
    }
};

std::unique_ptr<QObject> makeHelpTest() { return std::make_unique<HelpTest>(); }

} // namespace kestrova::test

#include "help_test.moc"
