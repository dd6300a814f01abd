// Plug-in mode: the file named after -f, its save prompt at exit, re-reading it.
#include "shell_support.h"

#include "engine/reflow.h"
#include "io/textcodec.h"
#include "platform/qtext.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <unistd.h>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

const QByteArray kMail =
    "> 引用された長い行です。引用された長い行です。引用された長い行です。引用された長い行です。\n"
    "本文です。\n";

QByteArray alignedUtf8Lf(shell::dorUrerUvuroze& w, const QByteArray& utf8Lf)
{
    auto decoded = io::decodeText(std::string_view(utf8Lf.constData(), utf8Lf.size()), true);
    engine::ReflowState state;
    const std::u16string text =
        engine::TextUpdate(decoded->text, ShellTestAccess::reflowSettings(w), state);
    return QByteArray::fromStdString(io::encodeUtf8(io::crLfToLf(text)));
}

struct PluginWindow
{
    Sandbox sandbox;
    QString file;
    ModalDriver modals; // from the start: a large file brings a message at once
    std::unique_ptr<shell::dorUrerUvuroze> w;

    explicit PluginWindow(const QByteArray& bytes = kMail)
        : file(sandbox.path(QStringLiteral("mail/reply.txt")))
    {
        Sandbox::writeFile(file, bytes);
        w = startWindow(sandbox, QStringLiteral("-f ") + file);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("the window was not shown");
    }
};

} // namespace

class PluginTest : public QObject
{
    Q_OBJECT

private slots:
    void exitAfterAChangeAsksAndCancelKeepsEverything()
    {
        PluginWindow p;
        setClipboard(QStringLiteral("untouched"));
        ShellTestAccess::cmdUpdate(*p.w)->click();
        QCOMPARE(ShellTestAccess::Modified(*p.w), true);
        QCOMPARE(clipboard(), QStringLiteral("untouched")); // plug-in mode leaves it alone
        const std::u16string text = p.w->boxText();

        ModalDriver& driver = p.modals;
        driver.answerNext(QMessageBox::Cancel);
        ShellTestAccess::cmdExit(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        const SeenBox& box = driver.boxes()[0];
        QCOMPARE(box.text, QStringLiteral("内容が変更されています。変更を保存しますか？"));
        QCOMPARE(box.title, QStringLiteral("Kestrova"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
        QVERIFY(p.w->isVisible());
        QCOMPARE(p.w->boxText(), text);
        QCOMPARE(Sandbox::readFile(p.file), kMail);
        QVERIFY(!QFileInfo::exists(p.sandbox.iniPath()));
    }

    void yesSavesInTheFilesOwnCodeAndLineEndsThenCloses()
    {
        PluginWindow p;
        ShellTestAccess::cmdUpdate(*p.w)->click();
        const QByteArray expected = alignedUtf8Lf(*p.w, kMail);
        QVERIFY(expected != kMail);

        ModalDriver& driver = p.modals;
        driver.answerNext(QMessageBox::Yes);
        ShellTestAccess::cmdExit(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(!p.w->isVisible());
        QCOMPARE(Sandbox::readFile(p.file), expected);
        QVERIFY(QFileInfo::exists(p.sandbox.iniPath()));
    }

    void noClosesWithoutSaving()
    {
        PluginWindow p;
        ShellTestAccess::cmdUpdate(*p.w)->click();
        ModalDriver& driver = p.modals;
        driver.answerNext(QMessageBox::No);
        ShellTestAccess::cmdExit(*p.w)->click();
        QVERIFY(!p.w->isVisible());
        QCOMPARE(Sandbox::readFile(p.file), kMail);
        QVERIFY(QFileInfo::exists(p.sandbox.iniPath()));
    }

    void aFailedSaveKeepsTheWindowOpenWithTheText()
    {
        PluginWindow p;
        ShellTestAccess::cmdUpdate(*p.w)->click();
        const std::u16string text = p.w->boxText();
        QVERIFY(QDir(QFileInfo(p.file).absolutePath()).removeRecursively());

        ModalDriver& driver = p.modals;
        driver.answerNext(QMessageBox::Yes);
        ShellTestAccess::cmdExit(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(2));
        QCOMPARE(driver.boxes()[1].icon, QMessageBox::Critical);
        QVERIFY(driver.boxes()[1].text.contains(p.file));
        QVERIFY(p.w->isVisible());
        QCOMPARE(p.w->boxText(), text);
        QCOMPARE(ShellTestAccess::Modified(*p.w), true);
    }

    void reReadingTheFileClearsModified()
    {
        PluginWindow p;
        ShellTestAccess::cmdUpdate(*p.w)->click();
        Sandbox::writeFile(p.file, "書き換えられた\n");
        ShellTestAccess::cmdRead(*p.w)->click();
        QCOMPARE(p.w->boxText(), std::u16string(u"書き換えられた\r\n"));
        QCOMPARE(ShellTestAccess::Modified(*p.w), false);
        QCOMPARE(ShellTestAccess::UndoCmd(*p.w), 0);

        ModalDriver& driver = p.modals;
        ShellTestAccess::cmdExit(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(0));
        QVERIFY(!p.w->isVisible());
    }

    void reReadingAVanishedFileKeepsTheText()
    {
        PluginWindow p;
        const std::u16string text = p.w->boxText();
        QVERIFY(QFile::remove(p.file));
        ModalDriver& driver = p.modals;
        ShellTestAccess::cmdRead(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(p.w->boxText(), text);
    }

    // Closing by the close box must not lose the edit without a word.
    void theCloseBoxAsksLikeTheExitButton()
    {
        PluginWindow p;
        ShellTestAccess::cmdUpdate(*p.w)->click();
        const QByteArray expected = alignedUtf8Lf(*p.w, kMail);
        ModalDriver& driver = p.modals;
        driver.answerNext(QMessageBox::Cancel);
        QVERIFY(!p.w->close());
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].text,
                 QStringLiteral("内容が変更されています。変更を保存しますか？"));
        QVERIFY(p.w->isVisible());
        QCOMPARE(Sandbox::readFile(p.file), kMail);
        QVERIFY(!QFileInfo::exists(p.sandbox.iniPath()));

        driver.answerNext(QMessageBox::Yes);
        QVERIFY(p.w->close());
        QCOMPARE(driver.boxes().size(), std::size_t(2));
        QCOMPARE(Sandbox::readFile(p.file), expected);
        QVERIFY(QFileInfo::exists(p.sandbox.iniPath()));
    }

    void theCloseBoxWithoutChangesClosesAtOnce()
    {
        PluginWindow p;
        ModalDriver& driver = p.modals;
        QVERIFY(p.w->close());
        QCOMPARE(driver.boxes().size(), std::size_t(0));
        QCOMPARE(Sandbox::readFile(p.file), kMail);
        QVERIFY(QFileInfo::exists(p.sandbox.iniPath()));
    }

    void normalModeNeverAsks()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("abc"));
        auto w = startWindow(sandbox);
        w->show();
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_X);
        ModalDriver driver;
        ShellTestAccess::cmdExit(*w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(0));
        QVERIFY(!w->isVisible());
    }

    void savingOverAReadOnlyFileAsksFirst()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("ro.txt"));
        Sandbox::writeFile(file, "old\n");
        QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        auto w = startWindow(sandbox, QStringLiteral("-f ") + file);
        w->show();
        ModalDriver driver;
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_X);
        driver.answerNext(QMessageBox::No);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(driver.boxes()[0].text.contains(QStringLiteral("読み取り専用")));
        QCOMPARE(Sandbox::readFile(file), QByteArray("old\n"));
        QCOMPARE(ShellTestAccess::Modified(*w), true);
        driver.answerNext(QMessageBox::Yes);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(driver.boxes().size(), std::size_t(2));
        QCOMPARE(Sandbox::readFile(file), QByteArray("xold\n"));
        QCOMPARE(ShellTestAccess::Modified(*w), false);
        // It stays read-only.
        QCOMPARE(QFileInfo(file).permissions() & QFileDevice::WriteOwner,
                 QFileDevice::Permissions());
    }

    // Another name of the mail, a hard link, sees the edit too.
    void aPluginFileWithAnotherNameKeepsIt()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("mail.txt"));
        const QString other = sandbox.path(QStringLiteral("link.txt"));
        Sandbox::writeFile(file, "old\n");
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()) ==
                0);
        auto w = startWindow(sandbox, QStringLiteral("-f ") + file);
        w->show();
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_X);
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(Sandbox::readFile(file), QByteArray("xold\n"));
        QCOMPARE(Sandbox::readFile(other), QByteArray("xold\n"));
    }

    // git's commit template and a mail with an ASCII signature have no code of their own:
    // Japanese pasted into them is saved as UTF-8, with the line ends the file had.
    void aFileWithoutACodeOfItsOwnIsSavedAsUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("empty") << QByteArray() << QByteArray("日本語\n");
        QTest::newRow("ASCII, LF") << QByteArray("\n# Please enter the commit message\n")
                                   << QByteArray("日本語\n\n# Please enter the commit message\n");
        QTest::newRow("ASCII, CR LF")
            << QByteArray("\r\n-- \r\nsig\r\n") << QByteArray("日本語\r\n\r\n-- \r\nsig\r\n");
    }

    void aFileWithoutACodeOfItsOwnIsSavedAsUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, saved);
        PluginWindow p(bytes);
        setClipboard(QStringLiteral("日本語\n"));
        QTest::keyClick(ShellTestAccess::txtData(*p.w), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(ShellTestAccess::txtData(*p.w), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(p.modals.boxes().size(), std::size_t(0));
        QCOMPARE(Sandbox::readFile(p.file), saved);
        QCOMPARE(ShellTestAccess::Modified(*p.w), false);
    }

    // git's comment character comes from the repository's own config; "auto" is read off
    // the file; a file git did not name keeps the ordinary re-flow.
    void gitsCommentLinesStayOutOfTheMessage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("commentChar"); // core.commentChar; empty: not set
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<bool>("kept");
        const QByteArray hash = "# Please enter the commit message for your changes.\n";
        const QByteArray semicolon = "; Please enter the commit message for your changes.\n";
        QTest::newRow("COMMIT_EDITMSG, #") << "COMMIT_EDITMSG" << QString() << hash << true;
        QTest::newRow("TAG_EDITMSG, ;") << "TAG_EDITMSG"
                                        << ";" << semicolon << true;
        QTest::newRow("MERGE_MSG, auto") << "MERGE_MSG"
                                         << "auto" << semicolon << true;
        QTest::newRow("another name") << "message.txt" << QString() << hash << false;
    }

    void gitsCommentLinesStayOutOfTheMessage()
    {
        QFETCH(QString, name);
        QFETCH(QString, commentChar);
        QFETCH(QByteArray, comment);
        QFETCH(bool, kept);
        Sandbox sandbox;
        const QString repo = sandbox.path(QStringLiteral("repo"));
        QVERIFY(QDir().mkpath(repo));
        QCOMPARE(QProcess::execute(QStringLiteral("git"),
                                   {QStringLiteral("init"), QStringLiteral("-q"), repo}),
                 0);
        if (!commentChar.isEmpty()) {
            QCOMPARE(QProcess::execute(QStringLiteral("git"),
                                       {QStringLiteral("-C"), repo, QStringLiteral("config"),
                                        QStringLiteral("core.commentChar"), commentChar}),
                     0);
        }
        // The message's last line is broken, and its leftover waits for the next line.
        const QByteArray message = "件名\n\n" + QByteArray(60, 'a') + " " + QByteArray(20, 'b');
        const QString file = repo + QStringLiteral("/.git/") + name;
        Sandbox::writeFile(file, message + "\n" + comment);
        auto w = startWindow(sandbox, QStringLiteral("-f ") + file);
        ShellTestAccess::cmdUpdate(*w)->click();
        const std::u16string text = w->boxText();
        const std::u16string commentLine = platform::toU16(QString::fromUtf8(comment.chopped(1)));
        QCOMPARE(text.find(u"\r\n" + commentLine + u"\r\n") != std::u16string::npos, kept);
    }

    void savingAFileThatWasCutAsksFirst()
    {
        // Only the first 16383 characters of a large file are in the window: writing them back
        // would drop the rest of the file.
        QByteArray big;
        for (int i = 0; i < 2000; ++i)
            big += "0123456789\n";
        PluginWindow p(big);
        ShellTestAccess::cmdInyoAdd(*p.w)->click();

        ModalDriver& driver = p.modals;
        QCOMPARE(driver.boxes().size(), std::size_t(1)); // the size message at start-up
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
        driver.answerNext(QMessageBox::Yes); // save?
        driver.answerNext(QMessageBox::No);  // and lose the rest? no
        ShellTestAccess::cmdExit(*p.w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(3));
        QVERIFY(driver.boxes()[2].text.contains(QStringLiteral("失われます")));
        QCOMPARE(driver.boxes()[2].defaultButton, QMessageBox::No);
        QVERIFY(p.w->isVisible());
        QCOMPARE(Sandbox::readFile(p.file), big);
    }
};

std::unique_ptr<QObject> makePluginTest() { return std::make_unique<PluginTest>(); }

} // namespace kestrova::test

#include "plugin_test.moc"
