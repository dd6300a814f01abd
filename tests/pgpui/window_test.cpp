// The PGP buttons of the main window: the undo slot, the clipboard, the controls while a command
// runs, and closing meanwhile. kestrova-command stands beside this test program, as beside the
// real one.
#include "gpg_support.h"
#include "modal_script.h"
#include "shell_support.h"

#include "io/textcodec.h"
#include "shell/undoslot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace kestrova::test {

namespace {

using shell::ShellTestAccess;
using shell::UndoCommand;
using shell::UndoSlot;

const std::string kPass = "window pass \"%x%\"";
const QString kMail = QStringLiteral("PGP の署名テスト。\n二行目です。\n");

std::string narrow(const QString& text) { return text.toStdString(); }

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<GpgHome> home;
    std::string aliceFingerprint;
    std::unique_ptr<TempFolder> temp;
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<shell::dorUrerUvuroze> window;
    std::unique_ptr<ModalScript> script;

    QString boxText() { return ShellTestAccess::txtData(*window)->toPlainText(); }

    // The controls that can start a command or change the text, and whether each is usable.
    std::vector<bool> usable()
    {
        auto& w = *window;
        std::vector<bool> states;
        const QWidget* controls[] = {
            ShellTestAccess::cmdUpdate(w),   ShellTestAccess::cmdRead(w),
            ShellTestAccess::cmdInyoAdd(w),  ShellTestAccess::cmdInyoDel(w),
            ShellTestAccess::cmdSetup(w),    ShellTestAccess::cmdHanToZen(w),
            ShellTestAccess::cmdPGPCheck(w), ShellTestAccess::cmdPGPSign(w),
            ShellTestAccess::cmdPGPCript(w), ShellTestAccess::cmdPGPKeyAdd(w),
            ShellTestAccess::txtData(w)};
        for (const QWidget* control : controls)
            states.push_back(control->isEnabled());
        return states;
    }

private slots:
    void initTestCase()
    {
        home = std::make_unique<GpgHome>();
        aliceFingerprint = home->makeKey("Alice <alice@example.org>", kPass);
        home->makeKey("Bob <bob@example.org>", "");
        ::unsetenv("PGPPASS");
        ::unsetenv("PGPPATH");
    }

    void cleanupTestCase() { home.reset(); }

    void init()
    {
        temp = std::make_unique<TempFolder>();
        qputenv("TMP", QByteArray::fromStdString(temp->path));
        sandbox = std::make_unique<Sandbox>();
        Sandbox::writeFile(sandbox->iniPath(),
                           QByteArray::fromStdString("[Settings]\r\nPgpFlg=1\r\nPgpVer=0\r\n"
                                                     "JisConvMode=0\r\nPgpPath=" +
                                                     home->path +
                                                     "\r\nUserID=alice@example.org\r\n"));
        setClipboard(kMail);
        window = startWindow(*sandbox);
        window->show();
        script = std::make_unique<ModalScript>();
    }

    void cleanup()
    {
        script.reset();
        window.reset();
        sandbox.reset();
        temp.reset();
        qunsetenv("TMP");
    }

    void signOffersUndoAndPutsTheSignedTextOnTheClipboard()
    {
        QCOMPARE(boxText(), kMail);
        std::vector<std::vector<bool>> whileRunning;
        script->whileRunning = [&] {
            if (!ShellTestAccess::txtData(*window)->isEnabled() && whileRunning.empty())
                whileRunning.push_back(usable());
        };
        QString viewed;
        script->then(ModalScript::typePassPhrase(QString::fromStdString(kPass)));
        script->then(ModalScript::readView(viewed));
        ShellTestAccess::cmdPGPSign(*window)->click();
        QVERIFY(script->scriptDone());

        const QString signedText = boxText();
        QVERIFY2(signedText.startsWith(QStringLiteral("-----BEGIN PGP SIGNED MESSAGE-----")),
                 qPrintable(viewed));
        QCOMPARE(clipboard(), signedText);
        QCOMPARE(home->gpg({"--verify"}, narrow(clipboard())).exitStatus, 0);
        QCOMPARE(ShellTestAccess::UndoCmd(*window), static_cast<int>(UndoCommand::PgpSign));
        QCOMPARE(ShellTestAccess::cmdPGPSign(*window)->text(),
                 UndoSlot::undoCaption(UndoCommand::PgpSign));
        // Everything that could start a command was off while gpg ran, and is back on after.
        QCOMPARE(whileRunning.size(), std::size_t(1));
        QCOMPARE(whileRunning[0], std::vector<bool>(whileRunning[0].size(), false));
        QCOMPARE(usable(), std::vector<bool>(whileRunning[0].size(), true));
        QVERIFY(ShellTestAccess::cmdPGPPubKey(*window)->isEnabled());
        QCOMPARE(temp->names().size(), std::size_t(1)); // the private folder, empty
        QVERIFY(!narrow(viewed).empty());

        // The same button now puts the text back without running PGP.
        ShellTestAccess::cmdPGPSign(*window)->click();
        QCOMPARE(boxText(), kMail);
        QCOMPARE(clipboard(), kMail);
        QCOMPARE(ShellTestAccess::cmdPGPSign(*window)->text(),
                 UndoSlot::normalCaption(UndoCommand::PgpSign));
        QCOMPARE(script->captions.size(), std::size_t(2));
    }

    void aCancelledRecipientLeavesTextAndSlotButWritesTheClipboard()
    {
        setClipboard(QStringLiteral("something else"));
        script->then(ModalScript::cancel());
        ShellTestAccess::cmdPGPCript(*window)->click();
        QVERIFY(script->scriptDone());
        QCOMPARE(script->captions,
                 std::vector<QString>{QStringLiteral("受取人のIDを入力して下さい")});
        QCOMPARE(boxText(), kMail);
        QCOMPARE(ShellTestAccess::UndoCmd(*window), static_cast<int>(UndoCommand::None));
        QCOMPARE(clipboard(), kMail);
    }

    // A text with no encrypted message needs no secret key: no pass phrase is asked for.
    void aFailedDecryptOffersNoUndoAndLeavesTheClipboard()
    {
        setClipboard(QStringLiteral("something else"));
        QString viewed;
        script->then(ModalScript::readView(viewed));
        ShellTestAccess::cmdPGPCheck(*window)->click();
        QVERIFY(script->scriptDone());
        QCOMPARE(script->captions.size(), std::size_t(1));
        QCOMPARE(boxText(), kMail);
        QCOMPARE(clipboard(), QStringLiteral("something else"));
        QVERIFY2(viewed.contains(QStringLiteral("No PGP data found")), qPrintable(viewed));
        QCOMPARE(ShellTestAccess::cmdPGPCheck(*window)->text(),
                 UndoSlot::normalCaption(UndoCommand::PgpCheck));
    }

    // The error of "指紋" is no fingerprint: neither the text nor the clipboard takes it.
    void aFingerprintOfNoKeyChangesNeitherTextNorClipboard()
    {
        setClipboard(QStringLiteral("something else"));
        QString viewed;
        script->then(ModalScript::typeId(QStringLiteral("nobody@example.org")));
        script->then(ModalScript::readView(viewed));
        ShellTestAccess::cmdPGPFingerPrint(*window)->click();
        QVERIFY(script->scriptDone());
        QCOMPARE(boxText(), kMail);
        QCOMPARE(clipboard(), QStringLiteral("something else"));
        QVERIFY2(viewed.contains(QStringLiteral("No key on the key ring matches")),
                 qPrintable(viewed));
        QCOMPARE(ShellTestAccess::cmdPGPFingerPrint(*window)->text(),
                 UndoSlot::normalCaption(UndoCommand::PgpFingerPrint));
    }

    void keyAddNeverChangesTheText()
    {
        GpgHome other;
        const std::string carol = other.makeKey("Carol <carol@example.net>", "");
        const QString armour =
            QString::fromStdString(other.gpg({"--armor", "--export", carol}).out);
        ShellTestAccess::txtData(*window)->setPlainText(armour);
        const QString before = boxText();
        setClipboard(QStringLiteral("untouched"));
        QString viewed;
        script->then(ModalScript::readView(viewed));
        ShellTestAccess::cmdPGPKeyAdd(*window)->click();
        QVERIFY(script->scriptDone());
        QVERIFY2(viewed.contains(QStringLiteral("New key added")), qPrintable(viewed));
        QCOMPARE(boxText(), before);
        QCOMPARE(clipboard(), QStringLiteral("untouched"));
        QCOMPARE(ShellTestAccess::UndoCmd(*window), static_cast<int>(UndoCommand::None));
        QCOMPARE(home->fingerprints().size(), std::size_t(3));
        QCOMPARE(home->gpg({"--yes", "--delete-keys", carol}).exitStatus, 0);
    }

    // "鍵一覧" in the settings dialog runs with the folder typed into its box, before "戻る":
    // the record still names another (empty) key ring, and keeps it when the dialog is cancelled.
    void theSettingsDialogsKeyListUsesItsUnconfirmedFolder()
    {
        ShellTestAccess::record(*window).PgpPath = u"/nonexistent-kestrova-ring";
        QString viewed;
        script->then([this](QWidget* dialog) {
            QVERIFY(dialog->windowTitle() == QStringLiteral("動作設定"));
            auto* folder = dialog->findChild<QLineEdit*>(QStringLiteral("txtPgpPath"));
            QVERIFY(folder != nullptr);
            folder->setText(QString::fromStdString(home->path));
            auto* list = dialog->findChild<QPushButton*>(QStringLiteral("cmdPGPKeyView"));
            QVERIFY(list != nullptr);
            // Clicked once this step is over: the command runs an event loop of its own.
            QTimer::singleShot(0, list, &QPushButton::click);
        });
        script->then(ModalScript::readView(viewed));
        script->then(ModalScript::cancel());
        ShellTestAccess::cmdSetup(*window)->click();
        QVERIFY(script->scriptDone());
        QVERIFY2(viewed.contains(QStringLiteral("alice@example.org")), qPrintable(viewed));
        QVERIFY2(viewed.contains(QStringLiteral("bob@example.org")), qPrintable(viewed));
        QVERIFY(ShellTestAccess::record(*window).PgpPath == u"/nonexistent-kestrova-ring");
        QCOMPARE(boxText(), kMail);
    }

    void closingWhileGpgRunsAsksStopsItAndThenCloses()
    {
        TempFolder bin;
        QVERIFY(::symlink(STAND_IN_PATH, (bin.path + "/gpg").c_str()) == 0);
        const std::string path = std::getenv("PATH");
        ::setenv("PATH", (bin.path + ":" + path).c_str(), 1);
        bool closeAsked = false;
        script->whileRunning = [&] {
            if (!closeAsked && !ShellTestAccess::txtData(*window)->isEnabled() &&
                script->captions.size() == 1) {
                closeAsked = true;
                QTimer::singleShot(0, window.get(), &QWidget::close);
            }
        };
        QString question;
        script->then(ModalScript::typePassPhrase(QString::fromStdString(kPass)));
        script->then([&question](QWidget* shown) {
            auto* box = qobject_cast<QMessageBox*>(shown);
            QVERIFY(box);
            question = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        script->otherwise = [](QWidget* shown) { shown->close(); }; // gpg's report, if any
        QElapsedTimer clock;
        clock.start();
        ShellTestAccess::cmdPGPSign(*window)->click();
        ::setenv("PATH", path.c_str(), 1);
        QVERIFY(closeAsked);
        QVERIFY2(question.contains(QStringLiteral("PGP の処理が終わっていません")),
                 qPrintable(question));
        QVERIFY2(clock.elapsed() < 30000, "gpg was not stopped");
        QVERIFY(!window->isVisible());
        QCOMPARE(boxText(), kMail);
        QVERIFY(commandLinesHolding(temp->path).empty());
    }
};

std::unique_ptr<QObject> makeWindowTest() { return std::make_unique<WindowTest>(); }

} // namespace kestrova::test

#include "window_test.moc"
