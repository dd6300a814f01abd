// Start-up and the command line.
#include "shell_support.h"

#include "platform/qtext.h"
#include "shell/singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

// A first copy listening on the sandbox's socket from a thread of its own, so that a window
// started here can ask it to come forward while this thread waits for the answer.
struct RunningCopy
{
    explicit RunningCopy(const Sandbox& sandbox)
        : copy(new shell::SingleInstance(sandbox.instanceName()))
    {
        thread.start();
        copy->moveToThread(&thread);
        QObject::connect(
            copy, &shell::SingleInstance::raiseRequested, copy,
            [this](const QString& token) {
                const std::lock_guard lock(mutex);
                tokens << token;
                ++raised;
            },
            Qt::DirectConnection);
        QObject::connect(
            copy, &shell::SingleInstance::openRequested, copy,
            [this](const QString& file) {
                const std::lock_guard lock(mutex);
                files << file;
            },
            Qt::DirectConnection);
        QMetaObject::invokeMethod(
            copy, [this] { listening = !copy->raiseRunningCopyOrListen() && copy->isListening(); },
            Qt::BlockingQueuedConnection);
    }
    ~RunningCopy()
    {
        QMetaObject::invokeMethod(copy, &QObject::deleteLater);
        thread.quit();
        thread.wait();
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    QThread thread;
    shell::SingleInstance* copy;
    std::atomic<int> raised = 0;
    bool listening = false;
    std::mutex mutex;
    QStringList files;  // handed over, under mutex
    QStringList tokens; // the activation token of each request to come forward, under mutex

    QStringList opened()
    {
        const std::lock_guard lock(mutex);
        return files;
    }
    QStringList activationTokens()
    {
        const std::lock_guard lock(mutex);
        return tokens;
    }
};

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void noArgumentShowsTheClipboardAndLeavesItAlone()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("本文の一行目\n二行目"));
        auto w = startWindow(sandbox);
        QCOMPARE(w->boxText(), crlf(QStringLiteral("本文の一行目\n二行目")));
        QCOMPARE(clipboard(), QStringLiteral("本文の一行目\n二行目"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova"));
        QCOMPARE(ShellTestAccess::PluginMode(*w), false);
    }

    void dashFInAnyCaseWithQuotesAndBlanksOpensPluginMode_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("upper case, quoted, blanks around") << QStringLiteral("-F  \"%1\"  ");
        QTest::newRow("lower case, blank, no quotes") << QStringLiteral("-f %1");
        QTest::newRow("no blank after the f") << QStringLiteral("-f%1");
    }

    void dashFInAnyCaseWithQuotesAndBlanksOpensPluginMode()
    {
        QFETCH(QString, pattern);
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("my mail/a b.txt"));
        Sandbox::writeFile(file, "返信の本文\n");
        setClipboard(QStringLiteral("clipboard stays"));
        auto w = startWindow(sandbox, pattern.arg(file));
        QCOMPARE(ShellTestAccess::PluginMode(*w), true);
        QCOMPARE(ShellTestAccess::PluginFile(*w), QFileInfo(file).absoluteFilePath());
        QCOMPARE(ShellTestAccess::Modified(*w), false);
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova  - Plugin Mode"));
        QCOMPARE(w->boxText(), std::u16string(u"返信の本文\r\n"));
        QCOMPARE(clipboard(), QStringLiteral("clipboard stays"));
    }

    void plainPathOpensInNormalModeAndGoesToTheClipboard()
    {
        Sandbox sandbox;
        const QString file =
            QFileInfo(QStringLiteral(KESTROVA_TEST_DATA "/mail-jis-lf.txt")).canonicalFilePath();
        setClipboard(QStringLiteral("old"));
        auto w = startWindow(sandbox, QLatin1Char('"') + file + QLatin1Char('"'));
        QCOMPARE(ShellTestAccess::PluginMode(*w), false);
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Kestrova  - ") + file + QStringLiteral("  JIS:LF"));
        QVERIFY(!w->boxText().empty());
        QString expected = platform::toQString(w->boxText());
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(clipboard(), expected);
        QCOMPARE(ShellTestAccess::CurrentFile(*w), file);
    }

    void aNameThatIsNoFileReadsNothing_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("folder");
        QTest::newRow("a missing file") << QStringLiteral("%1/missing.txt") << false;
        QTest::newRow("a folder") << QStringLiteral("%1") << true;
        QTest::newRow("a lone quote") << QStringLiteral("-f \"") << false;
    }

    void aNameThatIsNoFileReadsNothing()
    {
        QFETCH(QString, arguments);
        Sandbox sandbox;
        QDir().mkpath(sandbox.path(QStringLiteral("folder")));
        setClipboard(QStringLiteral("not to be read"));
        ModalDriver driver;
        auto w = startWindow(sandbox, arguments.contains(QLatin1String("%1"))
                                          ? arguments.arg(sandbox.path(QStringLiteral("folder")))
                                          : arguments);
        QCOMPARE(ShellTestAccess::PluginMode(*w), false);
        QVERIFY(w->boxText().empty());
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova"));
        QCOMPARE(clipboard(), QStringLiteral("not to be read"));
        QCOMPARE(driver.boxes().size(), std::size_t(0));
    }

    // A mail client may hand over a file it has not made yet: the edit must reach it.
    void dashFOnAMissingFileEditsItAndSavingMakesIt()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("new.txt"));
        setClipboard(QStringLiteral("clipboard stays"));
        ModalDriver driver;
        auto w = startWindow(sandbox, QStringLiteral("-f ") + file);
        QCOMPARE(ShellTestAccess::PluginMode(*w), true);
        QCOMPARE(ShellTestAccess::PluginFile(*w), file);
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova  - Plugin Mode"));
        QVERIFY(w->boxText().empty());
        QCOMPARE(driver.boxes().size(), std::size_t(0));
        QVERIFY(!QFileInfo::exists(file));

        w->show();
        QTest::keyClicks(ShellTestAccess::txtData(*w), QStringLiteral("new"));
        QCOMPARE(ShellTestAccess::Modified(*w), true);
        driver.answerNext(QMessageBox::Yes);
        ShellTestAccess::cmdExit(*w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(!w->isVisible());
        QCOMPARE(Sandbox::readFile(file), QByteArray("new"));
        QCOMPARE(clipboard(), QStringLiteral("clipboard stays"));
    }

    void dashFOnAFolderSaysKestrovaWillNotWriteIt()
    {
        Sandbox sandbox;
        const QString folder = sandbox.path(QStringLiteral("folder"));
        QDir().mkpath(folder);
        setClipboard(QStringLiteral("not to be read"));
        ModalDriver driver;
        auto w = startWindow(sandbox, QStringLiteral("-f ") + folder);
        QCOMPARE(ShellTestAccess::PluginMode(*w), false);
        QVERIFY(w->boxText().empty());
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(driver.boxes()[0].text.contains(folder));
        QVERIFY(driver.boxes()[0].text.contains(QStringLiteral("書き込みません")));
        QCOMPARE(clipboard(), QStringLiteral("not to be read"));
    }

    void aSecondCopyHandsItsFileToTheFirst()
    {
        Sandbox sandbox;
        RunningCopy first(sandbox);
        QVERIFY(first.listening);
        const QString file = sandbox.path(QStringLiteral("mail b.txt"));
        Sandbox::writeFile(file, "x");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QFileInfo(file).absolutePath());
        shell::dorUrerUvuroze second(sandbox.options(QStringLiteral("\"mail b.txt\"")));
        const shell::StartResult result = second.Form_Load();
        QDir::setCurrent(previous);
        QCOMPARE(result, shell::StartResult::RaisedRunningCopy);
        QTRY_COMPARE(first.raised.load(), 1);
        QTRY_COMPARE(first.opened(), QStringList{QFileInfo(file).absoluteFilePath()});
        QVERIFY(!QFileInfo::exists(sandbox.configDir()));
    }

    // What the first copy does with the file: as if it had been named at its own start.
    void aFileHandedOverOpensAsIfNamedAtStart()
    {
        Sandbox sandbox;
        const QString file =
            QFileInfo(QStringLiteral(KESTROVA_TEST_DATA "/mail-jis-lf.txt")).canonicalFilePath();
        setClipboard(QStringLiteral("old"));
        auto w = startWindow(sandbox);
        ShellTestAccess::openNamedFile(*w, file);
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Kestrova  - ") + file + QStringLiteral("  JIS:LF"));
        QString expected = platform::toQString(w->boxText());
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(clipboard(), expected);
    }

    void aSecondCopyRaisesTheFirstAndTouchesNoSettings()
    {
        Sandbox sandbox;
        RunningCopy first(sandbox);
        QVERIFY(first.listening);

        shell::dorUrerUvuroze second(sandbox.options({}));
        QCOMPARE(second.Form_Load(), shell::StartResult::RaisedRunningCopy);
        QTRY_COMPARE(first.raised.load(), 1);
        QVERIFY(!QFileInfo::exists(sandbox.configDir()));
        QCOMPARE(ShellTestAccess::IniFile(second), QString());
    }

    // On Wayland a window comes forward only with the activation token of the user's action,
    // which the launcher gave the second copy: the first copy gets it.
    void aSecondCopyHandsOverItsActivationToken()
    {
        Sandbox sandbox;
        RunningCopy first(sandbox);
        QVERIFY(first.listening);
        qputenv("XDG_ACTIVATION_TOKEN", "launcher-token/42");
        shell::dorUrerUvuroze second(sandbox.options({}));
        const shell::StartResult result = second.Form_Load();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        QCOMPARE(result, shell::StartResult::RaisedRunningCopy);
        QTRY_COMPARE(first.activationTokens(), QStringList{QStringLiteral("launcher-token/42")});

        shell::dorUrerUvuroze third(sandbox.options({}));
        QCOMPARE(third.Form_Load(), shell::StartResult::RaisedRunningCopy);
        QTRY_COMPARE(first.activationTokens().size(), 2);
        QCOMPARE(first.activationTokens()[1], QString());
    }

    // The program that asked for the edit waits for this copy to end; handing the file to
    // the window already open would tell it at once that the edit is done.
    void aPluginCopyOpensItsOwnWindowWhileAnotherRuns()
    {
        Sandbox sandbox;
        RunningCopy first(sandbox);
        QVERIFY(first.listening);
        const QString file = sandbox.path(QStringLiteral("draft.txt"));
        Sandbox::writeFile(file, "下書き\n");

        auto second = startWindow(sandbox, QStringLiteral("-f ") + file);
        QCOMPARE(ShellTestAccess::PluginMode(*second), true);
        QCOMPARE(second->boxText(), std::u16string(u"下書き\r\n"));
        QTest::qWait(50);
        QCOMPARE(first.raised.load(), 0);
    }

    void aSocketLeftByACrashedCopyDoesNotStopTheStart()
    {
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.instanceName(), "stale");
        setClipboard(QStringLiteral("text"));
        auto w = startWindow(sandbox);
        QCOMPARE(w->boxText(), std::u16string(u"text"));
    }

    void theHelpFileIsTheOneBesideTheProgram()
    {
        Sandbox sandbox;
        {
            auto w = startWindow(sandbox);
            QCOMPARE(ShellTestAccess::HelpFile(*w), QStringLiteral("Kestrova.html"));
        }
        const QString help = QDir(sandbox.programDir()).filePath(QStringLiteral("Kestrova.html"));
        Sandbox::writeFile(help, "<html></html>");
        auto w = startWindow(sandbox);
        QCOMPARE(ShellTestAccess::HelpFile(*w), help);
    }

    void settingsComeBeforeTheFirstText()
    {
        // ConvMode 0 from the file must already hold when the clipboard is read.
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nConvMode=0\r\n");
        setClipboard(QStringLiteral("\x1b$B$3$s$K$A$O\x1b(B"));
        auto w = startWindow(sandbox);
        QCOMPARE(w->boxText(), std::u16string(u"\x1b$B$3$s$K$A$O\x1b(B"));
        QCOMPARE(ShellTestAccess::IniFile(*w), sandbox.iniPath());
    }

    void thePgpStripFollowsPgpFlg()
    {
        Sandbox sandbox;
        {
            auto w = startWindow(sandbox);
            w->show();
            QVERIFY(!ShellTestAccess::picPgpTray(*w)->isVisible());
        }
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nPgpFlg=1\r\n");
        auto w = startWindow(sandbox);
        w->show();
        QVERIFY(ShellTestAccess::picPgpTray(*w)->isVisible());
        QVERIFY(ShellTestAccess::cmdHanToZen(*w)->isVisible());
    }
};

std::unique_ptr<QObject> makeStartupTest() { return std::make_unique<StartupTest>(); }

} // namespace kestrova::test

#include "startup_test.moc"
