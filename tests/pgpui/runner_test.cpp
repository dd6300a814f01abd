// PgpCommand for real: the dialogs answered as a user would, kestrova-command started and
// waited for, gpg run with a throw-away home, the viewer read.
#include "gpg_support.h"
#include "modal_script.h"

#include "io/textcodec.h"
#include "pgp/indent.h"
#include "pgpui/pgpcommand.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace kestrova::test {

namespace {

using pgp::PgpResult;
using pgpui::PgpRunner;

// Every character the batch language treats specially, in a pass phrase that must still reach
// gpg exactly.
const std::string kAlicePass = "pa\"ss %PATH% > x & y | z";
const QString kAlicePassQ = QString::fromStdString(kAlicePass);
const std::u16string kJapanese =
    u"こんにちは、世界。\r\n署名のテスト：①～㈱ ｶﾀｶﾅ\r\n\r\n終わり\r\n";
// What strict ISO-2022-JP mail carries: no half-width katakana.
const std::u16string kJapaneseForJis =
    u"こんにちは、世界。\r\n署名のテスト：①～㈱ カタカナ\r\n\r\n終わり\r\n";

std::string narrow(std::u16string_view text) { return io::encodeUtf8(text); }

bool holds(std::u16string_view text, std::string_view piece)
{
    return narrow(text).find(piece) != std::string::npos;
}

bool holds(const QString& text, std::string_view piece)
{
    return text.toStdString().find(piece) != std::string::npos;
}

// PATH with a folder first whose gpg never finishes.
class HangingGpg
{
public:
    HangingGpg()
        : m_path(std::getenv("PATH"))
    {
        QVERIFY(::symlink(STAND_IN_PATH, (m_folder.path + "/gpg").c_str()) == 0);
        ::setenv("PATH", (m_folder.path + ":" + m_path).c_str(), 1);
    }
    ~HangingGpg() { ::setenv("PATH", m_path.c_str(), 1); }
    HangingGpg(const HangingGpg&) = delete;
    HangingGpg& operator=(const HangingGpg&) = delete;

private:
    TempFolder m_folder;
    std::string m_path;
};

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<GpgHome> home;
    std::unique_ptr<TempFolder> temp;
    std::string aliceFingerprint;
    std::string bobFingerprint;
    settings::Settings settings;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<PgpRunner> runner;
    std::unique_ptr<ModalScript> driver;
    std::vector<bool> runningChanges;

    // One command; afterwards no work file is left and the script was followed.
    PgpResult run(std::string_view word, std::u16string& text, int version = -1)
    {
        const PgpResult result =
            runner->PgpCommand(word, text, version, pgpui::pgpSettingsOf(settings));
        [&] {
            QCOMPARE(temp->names(), std::vector<std::string>{});
            QVERIFY2(driver->scriptDone(), "a scripted window never opened");
            QCOMPARE(driver->unexpected, std::vector<QString>{});
            QVERIFY(!runner->running());
        }();
        return result;
    }

    std::u16string signedText(const std::u16string& text)
    {
        QString viewed;
        driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        driver->then(ModalScript::readView(viewed));
        std::u16string copy = text;
        [&] { QCOMPARE(run("sign", copy), PgpResult::Done); }();
        [&] { QVERIFY2(holds(copy, "-----BEGIN PGP SIGNED MESSAGE-----"), qPrintable(viewed)); }();
        return copy;
    }

    // "check"; an encrypted text asks for the pass phrase, which is left empty. Returns the
    // viewer's text.
    QString check(std::u16string& text, PgpResult expected = PgpResult::Done)
    {
        QString viewed;
        if (holds(text, "-----BEGIN PGP MESSAGE-----"))
            driver->then(ModalScript::typePassPhrase(QString()));
        driver->then(ModalScript::readView(viewed));
        [&] { QCOMPARE(run("check", text), expected); }();
        return viewed;
    }

private slots:
    void initTestCase()
    {
        home = std::make_unique<GpgHome>();
        aliceFingerprint = home->makeKey("Alice <alice@example.org>", kAlicePass);
        bobFingerprint = home->makeKey("Bob <bob@example.org>", "");
        ::unsetenv("PGPPASS");
        ::unsetenv("PGPPATH");
    }

    void cleanupTestCase() { home.reset(); }

    void init()
    {
        temp = std::make_unique<TempFolder>();
        settings = settings::Settings{};
        settings.PgpPath = io::decodeUtf8(home->path);
        settings.UserID = u"alice@example.org";
        settings.JisConvMode = 0;
        window = std::make_unique<QWidget>();
        window->show();
        runner = std::make_unique<PgpRunner>(window.get(), settings.UserList);
        runner->setCommandProgram(QStringLiteral(KESTROVA_COMMAND_PATH));
        runner->setTempDir(temp->path);
        runningChanges.clear();
        connect(runner.get(), &PgpRunner::runningChanged, this,
                [this](bool running) { runningChanges.push_back(running); });
        driver = std::make_unique<ModalScript>();
    }

    void cleanup()
    {
        driver.reset();
        runner.reset();
        window.reset();
        temp.reset();
    }

    void signThenCheckGivesAGoodSignatureAndTheTextBack_data()
    {
        QTest::addColumn<int>("jisConvMode");
        QTest::newRow("UTF-8") << 0;
        QTest::newRow("ISO-2022-JP") << 7;
    }

    void signThenCheckGivesAGoodSignatureAndTheTextBack()
    {
        QFETCH(int, jisConvMode);
        settings.JisConvMode = jisConvMode;
        const std::u16string original = jisConvMode == 0 ? kJapanese : kJapaneseForJis;
        const std::u16string signedCopy = signedText(original);
        QCOMPARE(driver->captions.front(), QStringLiteral("ﾊﾟｽﾌﾚｰｽﾞを入力して下さい"));
        QCOMPARE(runningChanges, (std::vector<bool>{true, false}));
        // gpg itself accepts the bytes the mail will carry.
        auto bytes = jisConvMode == 0 ? io::Result<std::string>(narrow(signedCopy))
                                      : io::encodeText(signedCopy, io::OutputCode::Jis, true);
        QVERIFY(bytes.has_value());
        QCOMPARE(home->gpg({"--verify"}, *bytes).exitStatus, 0);

        std::u16string text = signedCopy;
        const QString viewed = check(text);
        QVERIFY(text == original);
        QVERIFY2(holds(viewed, "Good signature from \"Alice <alice@example.org>\""),
                 qPrintable(viewed));
        QVERIFY2(holds(viewed, grouped(aliceFingerprint)), qPrintable(viewed));
    }

    void aTamperedTextIsReportedBadAndStaysAsItWas()
    {
        std::u16string text = signedText(kJapanese);
        const std::size_t at = text.find(u"世界");
        QVERIFY(at != std::u16string::npos);
        text[at] = u'町';
        const std::u16string tampered = text;
        const QString viewed = check(text, PgpResult::Failed);
        QVERIFY(text == tampered);
        QVERIFY2(holds(viewed, "BAD signature"), qPrintable(viewed));
    }

    void anIndentedSignedTextVerifiesAndComesBackIndented()
    {
        std::u16string text = signedText(kJapanese);
        pgp::AddIndent(text, 2);
        const QString viewed = check(text);
        std::u16string expected = kJapanese;
        pgp::AddIndent(expected, 2);
        QVERIFY2(text == expected, narrow(text).c_str());
        QVERIFY2(holds(viewed, "Good signature"), qPrintable(viewed));
    }

    void encryptToTheOtherKeyThenCheckDecrypts_data()
    {
        QTest::addColumn<int>("encryptMode");
        QTest::newRow("encrypt only") << 0;
        QTest::newRow("sign and encrypt") << 1;
    }

    void encryptToTheOtherKeyThenCheckDecrypts()
    {
        QFETCH(int, encryptMode);
        settings.EncryptMode = encryptMode;
        std::u16string text = kJapanese;
        QString viewed;
        if (encryptMode == 1)
            driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        driver->then(ModalScript::typeId(QStringLiteral("bob@example.org")));
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run("encrypt", text), PgpResult::Done);
        QVERIFY2(holds(text, "-----BEGIN PGP MESSAGE-----"), qPrintable(viewed));
        QVERIFY(!holds(text, "世界"));
        QCOMPARE(driver->captions.at(encryptMode), QStringLiteral("受取人のIDを入力して下さい"));
        QCOMPARE(settings.UserList[0], std::u16string(u"bob@example.org"));

        const QString checked = check(text); // Bob's key has no pass phrase
        QVERIFY2(text == kJapanese, qPrintable(checked));
        QVERIFY2(holds(checked, "Decrypted"), qPrintable(checked));
        QCOMPARE(holds(checked, "Good signature from \"Alice"), encryptMode == 1);
    }

    void pubkeyAppendsAnArmouredKeyThatGpgImports()
    {
        std::u16string text = u"鍵を送ります。\r\n";
        QString viewed;
        driver->then(ModalScript::typeId(QStringLiteral("bob@example.org")));
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run("pubkey", text), PgpResult::Done);
        QVERIFY2(text.starts_with(u"鍵を送ります。\r\n\r\n-----BEGIN PGP PUBLIC KEY BLOCK-----"),
                 narrow(text).c_str());
        GpgHome other;
        const auto imported =
            other.gpg({"--status-fd", "1", "--import"}, narrow(text.substr(text.find(u"-----"))));
        QVERIFY2(imported.out.find("IMPORT_OK 1 " + bobFingerprint) != std::string::npos,
                 imported.err.c_str());
    }

    void fingerAppendsTheFingerprintAndShowsNoViewer()
    {
        std::u16string text = u"本文\r\n";
        driver->then(ModalScript::typeId(QStringLiteral("alice")));
        QCOMPARE(run("finger", text), PgpResult::Done);
        QVERIFY(text.starts_with(u"本文\r\n\r\n"));
        QVERIFY2(holds(text, "Key fingerprint = " + grouped(aliceFingerprint)),
                 narrow(text).c_str());
        QCOMPARE(driver->captions.size(), std::size_t(1));
    }

    void addImportsKeysAndRemoveDeletesOnlyAPublicKey()
    {
        GpgHome other;
        const std::string carol = other.makeKey("Carol <carol@example.net>", "");
        const std::u16string before =
            u"  Carol の鍵:\r\n" + io::decodeUtf8(other.gpg({"--armor", "--export", carol}).out);
        std::u16string text = before;
        pgp::AddIndent(text, 3); // quoted with spaces: "add" takes the indentation off
        const std::u16string indented = text;
        QString viewed;
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run("add", text), PgpResult::Done);
        QVERIFY(text == indented);
        QVERIFY2(holds(viewed, "New key added"), qPrintable(viewed));
        QCOMPARE(home->fingerprints().size(), std::size_t(3));

        // The settings dialog's way: version 0.
        std::u16string nothing;
        viewed.clear();
        driver->then(ModalScript::typeId(QStringLiteral("alice@example.org")));
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run("remove", nothing, 0), PgpResult::Failed);
        QVERIFY2(holds(viewed, "has a secret key on the key ring, so it is not removed"),
                 qPrintable(viewed));
        QCOMPARE(home->fingerprints().size(), std::size_t(3));

        // A key that would go is named and confirmed first; No is the default and keeps it.
        QString question;
        bool noIsDefault = false;
        const auto answer = [&](QMessageBox::StandardButton button) {
            return [&, button](QWidget* asked) {
                auto* box = qobject_cast<QMessageBox*>(asked);
                QVERIFY(box);
                question = box->text();
                noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
                box->button(button)->click();
            };
        };
        driver->then(ModalScript::typeId(QStringLiteral("carol")));
        driver->then(answer(QMessageBox::No));
        QCOMPARE(run("remove", nothing, 0), PgpResult::Cancelled);
        QVERIFY2(question.contains(QStringLiteral("Carol <carol@example.net>")) &&
                     question.contains(QString::fromStdString(grouped(carol))) &&
                     question.endsWith(QStringLiteral("を削除しますか？")),
                 qPrintable(question));
        QVERIFY(noIsDefault);
        QCOMPARE(home->fingerprints().size(), std::size_t(3));

        viewed.clear();
        driver->then(ModalScript::typeId(QStringLiteral("carol")));
        driver->then(answer(QMessageBox::Yes));
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run("remove", nothing, 0), PgpResult::Done);
        QVERIFY2(holds(viewed, "Key removed"), qPrintable(viewed));
        QCOMPARE(home->fingerprints(),
                 (std::vector<std::string>{aliceFingerprint, bobFingerprint}));
    }

    void whatJisMailCannotCarryIsRefusedBeforeAnyPrompt_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::newRow("emoji, sign") << "sign" << QStringLiteral("一行目\r\n絵文字 😀 です\r\n")
                                     << QStringLiteral("2 行目の「😀」(U+1F600)");
        QTest::newRow("half-width katakana, sign")
            << "sign" << QStringLiteral("ｶﾀｶﾅ\r\n") << QStringLiteral("1 行目の「ｶ」(U+FF76)");
        QTest::newRow("half-width katakana, encrypt")
            << "encrypt" << QStringLiteral("全角\r\n\r\n半角 ﾃｽﾄ\r\n")
            << QStringLiteral("3 行目の「ﾃ」(U+FF83)");
    }

    void whatJisMailCannotCarryIsRefusedBeforeAnyPrompt()
    {
        QFETCH(QString, word);
        QFETCH(QString, text);
        QFETCH(QString, named);
        settings.JisConvMode = 7;
        settings.EncryptMode = 1; // "encrypt" would ask for the pass phrase and the recipient
        const std::u16string before = text.toStdU16String();
        std::u16string typed = before;
        QString said;
        driver->then(ModalScript::readMessage(said));
        QCOMPARE(run(word.toStdString(), typed), PgpResult::Cancelled);
        QVERIFY(typed == before);
        QCOMPARE(driver->captions, std::vector<QString>{QStringLiteral("Kestrova")});
        QVERIFY2(said.contains(named), qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("Kestrova.tmp")), qPrintable(said));
        if (named.contains(QStringLiteral("U+FF")))
            QVERIFY2(said.contains(QStringLiteral("ｶﾅ>カナ")), qPrintable(said));
    }

    void emojiIsKeptInUtf8()
    {
        const std::u16string withEmoji = u"絵文字 😀 です\r\n";
        std::u16string text = signedText(withEmoji);
        check(text);
        QVERIFY(text == withEmoji);
    }

    // Checked with JIS on, a text signed as UTF-8 is good: its converted form is not what was
    // signed, and the report says which form the signature covers.
    void aUtf8SignedTextIsGoodWithJisOn()
    {
        std::u16string text = signedText(kJapaneseForJis);
        settings.JisConvMode = 7;
        const QString viewed = check(text);
        QVERIFY2(text == kJapaneseForJis, narrow(text).c_str());
        QVERIFY2(holds(viewed, "Good signature from \"Alice"), qPrintable(viewed));
        QVERIFY2(!holds(viewed, "BAD"), qPrintable(viewed));
        QVERIFY2(holds(viewed, "UTF-8"), qPrintable(viewed));
    }

    // A command PGP reports as failed gives the text back unchanged and says why in the viewer.
    void aFailedCommandChangesNothingAndShowsWhy_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("said");
        QTest::newRow("finger, no such key") << "finger"
                                             << "nobody@example.org"
                                             << "No key on the key ring matches";
        QTest::newRow("pubkey, no such key") << "pubkey"
                                             << "nobody@example.org"
                                             << "on the key ring matches";
        QTest::newRow("encrypt, no such key") << "encrypt"
                                              << "nobody@example.org"
                                              << "nobody@example.org";
    }

    void aFailedCommandChangesNothingAndShowsWhy()
    {
        QFETCH(QString, word);
        QFETCH(QString, id);
        QFETCH(QString, said);
        std::u16string text = kJapanese;
        QString viewed;
        driver->then(ModalScript::typeId(id));
        driver->then(ModalScript::readView(viewed));
        QCOMPARE(run(word.toStdString(), text), PgpResult::Failed);
        QVERIFY2(text == kJapanese, narrow(text).c_str());
        QVERIFY2(viewed.contains(said), qPrintable(viewed));
    }

    // A PGP folder that is not there: gpg would make and use ~/.gnupg instead.
    void aMissingPgpFolderIsNamedAndNothingRuns_data()
    {
        QTest::addColumn<QString>("word");
        QTest::newRow("sign") << "sign";
        QTest::newRow("check") << "check";
        QTest::newRow("finger") << "finger";
    }

    void aMissingPgpFolderIsNamedAndNothingRuns()
    {
        QFETCH(QString, word);
        const QString missing = QString::fromStdString(temp->path + "/no-such-folder");
        settings.PgpPath = missing.toStdU16String();
        std::u16string text = kJapanese;
        QString said;
        driver->then(ModalScript::readMessage(said));
        QCOMPARE(run(word.toStdString(), text), PgpResult::Cancelled);
        QVERIFY(text == kJapanese);
        QCOMPARE(driver->captions.size(), std::size_t(1));
        QVERIFY2(said.contains(missing), qPrintable(said));
        QVERIFY(!QFileInfo::exists(missing));
    }

    void failuresLeaveTheTextAsItWasAndSayWhy()
    {
        // A wrong pass phrase.
        std::u16string text = kJapanese;
        QString said;
        driver->then(ModalScript::typePassPhrase(QStringLiteral("wrong")));
        driver->then(ModalScript::readView(said));
        QCOMPARE(run("sign", text), PgpResult::Failed);
        QVERIFY(text == kJapanese);
        QVERIFY2(holds(said, "Bad pass phrase."), qPrintable(said));

        // No gpg on the PATH: said before the pass phrase is asked for.
        const std::string path = std::getenv("PATH");
        ::setenv("PATH", "/nonexistent", 1);
        said.clear();
        driver->then(ModalScript::readMessage(said));
        const PgpResult result = run("sign", text);
        ::setenv("PATH", path.c_str(), 1);
        QCOMPARE(result, PgpResult::Cancelled);
        QCOMPARE(driver->captions.size(), std::size_t(3));
        QVERIFY(text == kJapanese);
        QVERIFY2(holds(said, "gpg (GnuPG)"), qPrintable(said));

        // No kestrova-command beside the program.
        runner->setCommandProgram(QString::fromStdString(temp->path + "/kestrova-command"));
        said.clear();
        driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        driver->then(ModalScript::readMessage(said));
        QCOMPARE(run("sign", text), PgpResult::Failed);
        QVERIFY(text == kJapanese);
        QVERIFY2(holds(said, "kestrova-command"), qPrintable(said));
    }

    // Once the user chose to stop and leave, no report waits for an answer.
    void stoppingToLeaveShowsNoReport()
    {
        HangingGpg hanging;
        bool stopped = false;
        driver->whileRunning = [&] {
            if (runner->running() && !stopped && !commandLinesHolding(temp->path).empty()) {
                stopped = true;
                runner->cancel();
            }
        };
        driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        std::u16string text = kJapanese;
        QCOMPARE(run("sign", text), PgpResult::Failed);
        QVERIFY(stopped);
        QVERIFY(text == kJapanese);
        QCOMPARE(driver->captions.size(), std::size_t(1)); // the pass phrase only
    }

    void aCancelledPromptLeavesTheTextAndNoWorkFile()
    {
        for (const char* word : {"sign", "encrypt", "pubkey", "finger"}) {
            std::u16string text = kJapanese;
            driver->then(ModalScript::cancel());
            QCOMPARE(run(word, text), PgpResult::Cancelled);
            QVERIFY(text == kJapanese);
        }
    }

    void noProcessArgumentListHoldsThePassPhraseWhileSigning()
    {
        int scans = 0;
        bool sawInterpreter = false;
        std::vector<std::string> leaks;
        // As often as the event loop turns, while the command runs.
        QTimer scanner;
        scanner.setInterval(0);
        QObject::connect(&scanner, &QTimer::timeout, [&] {
            if (!runner->running())
                return;
            ++scans;
            if (!commandLinesHolding("kestrova-command").empty())
                sawInterpreter = true;
            for (auto& line : commandLinesHolding(kAlicePass))
                leaks.push_back(line);
        });
        scanner.start();
        signedText(kJapanese);
        scanner.stop();
        QVERIFY(scans > 3);
        QVERIFY(sawInterpreter);
        QCOMPARE(leaks, std::vector<std::string>{});
        QCOMPARE(filesHolding(home->path, kAlicePass), std::vector<std::string>{});
    }

    void onlyOneCommandRunsAtATime()
    {
        std::vector<PgpResult> second;
        driver->whileRunning = [&] {
            if (runner->running() && second.empty()) {
                std::u16string other = u"other";
                second.push_back(
                    runner->PgpCommand("view", other, -1, pgpui::pgpSettingsOf(settings)));
            }
        };
        signedText(kJapanese);
        driver->whileRunning = nullptr;
        QCOMPARE(second, std::vector<PgpResult>{PgpResult::Cancelled});
    }

    void theProgressWindowCancelsAHangingGpg()
    {
        HangingGpg hanging;
        bool pressed = false;
        driver->whileRunning = [&] {
            for (QWidget* shown : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(shown);
                    progress && progress->isVisible() && !pressed) {
                    QVERIFY(!progress->isModal());
                    auto* stop = progress->findChild<QPushButton*>();
                    QCOMPARE(stop->text(), QStringLiteral("中止"));
                    pressed = true;
                    stop->click();
                }
        };
        driver->otherwise = [](QWidget* shown) { shown->close(); }; // the report, if any
        driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        std::u16string text = kJapanese;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run("sign", text), PgpResult::Failed);
        QVERIFY(pressed);
        QVERIFY2(clock.elapsed() < 30000, "the hanging gpg was not stopped");
        QVERIFY(text == kJapanese);
        QVERIFY(commandLinesHolding(temp->path).empty());
    }

    void theTimeLimitStopsAHangingGpg()
    {
        HangingGpg hanging;
        runner->setTimeLimit(std::chrono::milliseconds(1500));
        QString said;
        driver->then(ModalScript::typePassPhrase(kAlicePassQ));
        driver->then(ModalScript::readMessage(said));
        driver->otherwise = [](QWidget* shown) { shown->close(); };
        std::u16string text = kJapanese;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run("sign", text), PgpResult::Failed);
        QVERIFY2(clock.elapsed() < 30000, "the hanging gpg was not stopped");
        QVERIFY(text == kJapanese);
        QVERIFY2(said.contains(QStringLiteral("時間内に終わらなかった")), qPrintable(said));
    }

    // The tray itself is tried in the tray tests, on a real X clipboard.
    void theTrayPathWithoutATraySaysSo()
    {
        settings.PgpVer = 1;
        pgpui::TrayWait wait;
        wait.socketPath = QString::fromStdString(home->path + "/no-tray");
        runner->setTrayWait(wait);
        std::u16string text = u"  indented\r\n";
        QString said;
        driver->then(ModalScript::readMessage(said));
        QCOMPARE(run("check", text), PgpResult::TrayMissing);
        QVERIFY(text == u"  indented\r\n");
        QCOMPARE(said, QStringLiteral("PGPtrayが起動していません。"));
    }
};

std::unique_ptr<QObject> makeRunnerTest() { return std::make_unique<RunnerTest>(); }

} // namespace kestrova::test

#include "runner_test.moc"
