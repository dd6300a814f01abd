// PgpTrayRun and PgpTraySend against a test tray on a socket, the clipboard kept aside and
// given back (checked from outside with xclip on the real X clipboard), the runner and the
// main window with PgpVer 1 and 2, and the tray's recipients dialog. Runs under Xvfb.
#include "modal_answer.h"
#include "shell_support.h"

#include "pgp/trayprotocol.h"
#include "pgpui/pgpcommand.h"
#include "pgpui/tray.h"
#include "platform/clipsave.h"
#include "tray/recipients.h"
#include "tray/trayapp.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

namespace kestrova::test {
namespace {

using pgp::PgpResult;
using shell::ShellTestAccess;

const QByteArray kUserRtf = QByteArrayLiteral("{\\rtf1\\ansi user's own}");
const QString kUserText = QStringLiteral("利用者のクリップボード");

// Stands in for kestrova-tray: records what it was sent and what the clipboard held then,
// and answers as told (or never).
class TestTray : public QObject
{
public:
    explicit TestTray(const QString& path)
    {
        QLocalServer::removeServer(path);
        server.listen(path);
        connect(&server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = server.nextPendingConnection()) {
                clients.push_back(client);
                connect(client, &QLocalSocket::readyRead, this, [this, client] { read(client); });
            }
        });
    }

    QLocalServer server;
    std::optional<int> answer = 0; // none: never answers
    QString result = QStringLiteral("結果の文");
    QStringList lines;
    QString handed;                  // the clipboard's text when the command came
    std::function<void()> onCommand; // called when a command comes, before the answer
    std::vector<QLocalSocket*> clients;

private:
    void read(QLocalSocket* client)
    {
        while (client->canReadLine()) {
            const QString line = QString::fromUtf8(client->readLine().trimmed());
            lines << line;
            if (line == QLatin1String(pgp::kTopMostRequest)) {
                client->write("0\n");
                continue;
            }
            handed = QGuiApplication::clipboard()->text();
            if (onCommand)
                onCommand();
            if (!answer)
                continue;
            if (*answer == 0)
                QGuiApplication::clipboard()->setText(result);
            client->write(QByteArray::number(*answer) + '\n');
            client->flush();
        }
    }
};

// What another program finds on the X clipboard for target; the event loop runs meanwhile so
// that this process can serve the selection it owns.
QByteArray xclipRead(const QString& target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                 QStringLiteral("-t"), target});
    if (!xclip.waitForStarted())
        return "(xclip did not start)";
    for (int i = 0; i < 600 && xclip.state() != QProcess::NotRunning; ++i)
        QTest::qWait(50);
    return xclip.exitCode() == 0 ? xclip.readAllStandardOutput() : QByteArray("(nothing)");
}

void putUserClipboard(bool withRtf = true, bool withApplicationRtf = false)
{
    auto* data = new QMimeData;
    data->setText(kUserText);
    if (withRtf)
        data->setData(QStringLiteral("text/rtf"), kUserRtf);
    if (withApplicationRtf)
        data->setData(QStringLiteral("application/rtf"), kUserRtf + "app");
    QGuiApplication::clipboard()->setMimeData(data);
}

struct Message
{
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs action, closing and recording the message box it shows, if any.
Message answeringMessage(const std::function<void()>& action)
{
    Message seen;
    answerModal(action, [&seen](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen = {box->text(), box->icon()};
            box->button(QMessageBox::Ok)->click();
        }
    });
    return seen;
}

class TrayBridgeTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder{QStringLiteral("/tmp/kb.XXXXXX")};
    pgpui::TrayWait m_wait;

    void checkUserClipboardBack()
    {
        QCOMPARE(QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING"))), kUserText);
        QCOMPARE(xclipRead(QStringLiteral("text/rtf")), kUserRtf);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_wait.socketPath = m_folder.filePath(QString::fromLatin1(pgp::kTrayWindowName));
        // The window looks for the tray where kestrova-tray listens: in XDG_RUNTIME_DIR.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()));
    }

    void eachWordReachesTheTrayAsItsIdentifier_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("encryptMode");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("expected");
        QTest::newRow("sign, 5.5.3i") << 1 << "sign" << 0 << 40018 << 0;
        QTest::newRow("sign, 6.5.1i") << 2 << "sign" << 1 << 40026 << 0;
        QTest::newRow("encrypt and sign, 5.5.3i") << 1 << "encrypt" << 1 << 40007 << 0;
        QTest::newRow("encrypt and sign, 6.5.1i") << 2 << "encrypt" << 1 << 40027 << 0;
        QTest::newRow("encrypt, 5.5.3i") << 1 << "encrypt" << 0 << 40017 << 0;
        QTest::newRow("encrypt, 6.5.1i") << 2 << "encrypt" << 0 << 40025 << 0;
        QTest::newRow("check, 5.5.3i") << 1 << "check" << 0 << 40008 << 0;
        QTest::newRow("check, 6.5.1i") << 2 << "check" << 0 << 40028 << 0;
        QTest::newRow("add, 5.5.3i, never taken back") << 1 << "add" << 0 << 40006 << -1;
        QTest::newRow("add, 6.5.1i, never taken back") << 2 << "add" << 0 << 40028 << -1;
    }

    void eachWordReachesTheTrayAsItsIdentifier()
    {
        QFETCH(int, version);
        QFETCH(QString, word);
        QFETCH(int, encryptMode);
        QFETCH(int, id);
        QFETCH(int, expected);
        TestTray tray(m_wait.socketPath);
        putUserClipboard();
        std::u16string text = u"本文\r\n二行目\r\n";
        pgp::PgpSettings settings;
        settings.EncryptMode = encryptMode;
        settings.JisConvMode = 0;
        const auto result =
            pgpui::PgpTrayRun(version, word.toStdString(), text, settings, nullptr, m_wait);
        QCOMPARE(static_cast<int>(result), expected);
        QCOMPARE(tray.lines, QStringList{QString::fromStdString(pgp::commandRequest(id))});
        QCOMPARE(tray.handed, QStringLiteral("本文\n二行目\n"));
        QCOMPARE(text, expected == 0 ? std::u16string(u"結果の文") : u"本文\r\n二行目\r\n");
        checkUserClipboardBack();
    }

    void aRefusalLeavesTheTextAsItWas()
    {
        TestTray tray(m_wait.socketPath);
        tray.answer = static_cast<int>(pgp::TrayAnswer::Failed);
        putUserClipboard();
        std::u16string text = u"本文\r\n";
        QCOMPARE(pgpui::PgpTrayRun(2, "sign", text, {}, nullptr, m_wait), PgpResult::Cancelled);
        QCOMPARE(text, std::u16string(u"本文\r\n"));
        checkUserClipboardBack();
    }

    void withoutATraySaysSoWithTheStopIcon()
    {
        QLocalServer::removeServer(m_wait.socketPath);
        putUserClipboard();
        std::u16string text = u"本文\r\n";
        PgpResult result = PgpResult::Done;
        const Message message = answeringMessage(
            [&] { result = pgpui::PgpTrayRun(1, "check", text, {}, nullptr, m_wait); });
        QCOMPARE(result, PgpResult::TrayMissing);
        QCOMPARE(message.text, QStringLiteral("PGPtrayが起動していません。"));
        QCOMPARE(message.icon, QMessageBox::Critical);
        QCOMPARE(text, std::u16string(u"本文\r\n"));
        checkUserClipboardBack();
    }

    void aSilentTrayIsNotWaitedForPastTheLimit()
    {
        TestTray tray(m_wait.socketPath);
        tray.answer.reset();
        putUserClipboard();
        pgpui::TrayWait wait = m_wait;
        wait.timeLimit = std::chrono::seconds(2);
        std::u16string text = u"本文\r\n";
        QCOMPARE(pgpui::PgpTrayRun(2, "sign", text, {}, nullptr, wait), PgpResult::Cancelled);
        QCOMPARE(text, std::u16string(u"本文\r\n"));
        checkUserClipboardBack();
    }

    void stopButtonEndsTheWait()
    {
        TestTray tray(m_wait.socketPath);
        tray.answer.reset();
        putUserClipboard();
        QWidget window;
        window.show();
        pgpui::TrayWait wait = m_wait;
        wait.progressDelay = std::chrono::milliseconds(0);
        wait.timeLimit = std::chrono::minutes(2); // a failure here must not hold up the rest
        bool stopOffered = false;
        QTimer press;
        press.setInterval(50);
        connect(&press, &QTimer::timeout, &window, [&] {
            for (auto* progress : window.findChildren<QProgressDialog*>()) {
                if (progress->isVisible()) {
                    stopOffered = true;
                    auto* stop = progress->findChild<QPushButton*>();
                    QVERIFY(stop && stop->text() == QStringLiteral("中止"));
                    stop->click();
                }
            }
        });
        press.start();
        std::u16string text = u"本文\r\n";
        QElapsedTimer took;
        took.start();
        QCOMPARE(pgpui::PgpTrayRun(2, "sign", text, {}, &window, wait), PgpResult::Cancelled);
        QVERIFY(stopOffered);
        QVERIFY(took.elapsed() < 60'000);
        checkUserClipboardBack();
    }

    void anEmptyTextIsNeverSent()
    {
        TestTray tray(m_wait.socketPath);
        putUserClipboard();
        std::u16string text;
        PgpResult result = PgpResult::Done;
        const Message message = answeringMessage(
            [&] { result = pgpui::PgpTrayRun(2, "sign", text, {}, nullptr, m_wait); });
        QCOMPARE(result, PgpResult::Cancelled);
        QCOMPARE(message.text, QStringLiteral("クリップボードが空です"));
        QVERIFY(tray.lines.isEmpty());
        checkUserClipboardBack();
    }

    void aWordWithoutCommandIsRefused()
    {
        TestTray tray(m_wait.socketPath);
        putUserClipboard();
        std::u16string text = u"本文\r\n";
        PgpResult result = PgpResult::Done;
        const Message message = answeringMessage(
            [&] { result = pgpui::PgpTrayRun(2, "pubkey", text, {}, nullptr, m_wait); });
        QCOMPARE(result, PgpResult::Cancelled);
        QCOMPARE(message.text, QStringLiteral("未対応です"));
        QVERIFY(tray.lines.isEmpty());
        QCOMPARE(text, std::u16string(u"本文\r\n"));
        checkUserClipboardBack();
    }

    void viewMiniAsksForTopMostFirst_data()
    {
        QTest::addColumn<int>("viewMini");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("ViewMini 1") << 1 << QStringList{"topmost", "command 40026"};
        QTest::newRow("ViewMini 0") << 0 << QStringList{"command 40026"};
    }

    void viewMiniAsksForTopMostFirst()
    {
        QFETCH(int, viewMini);
        QFETCH(QStringList, lines);
        TestTray tray(m_wait.socketPath);
        pgp::PgpSettings settings;
        settings.ViewMini = viewMini;
        std::u16string text = u"本文\r\n";
        QCOMPARE(pgpui::PgpTrayRun(2, "sign", text, settings, nullptr, m_wait), PgpResult::Done);
        QCOMPARE(tray.lines, lines);
    }

    void jisConvModeHandsTheTextAsIso2022Jp_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("jisConvMode");
        QTest::addColumn<bool>("jis");
        QTest::newRow("sign, flag 2 set") << "sign" << 2 << true;
        QTest::newRow("sign, only other flags") << "sign" << 5 << false;
        QTest::newRow("encrypt, flag 1 set") << "encrypt" << 1 << true;
        QTest::newRow("check, flag 4 set") << "check" << 4 << true;
        QTest::newRow("check, flag 4 clear") << "check" << 3 << false;
    }

    void jisConvModeHandsTheTextAsIso2022Jp()
    {
        QFETCH(QString, word);
        QFETCH(int, jisConvMode);
        QFETCH(bool, jis);
        TestTray tray(m_wait.socketPath);
        pgp::PgpSettings settings;
        settings.JisConvMode = jisConvMode;
        std::u16string text = u"日本\r\n";
        QCOMPARE(pgpui::PgpTrayRun(2, word.toStdString(), text, settings, nullptr, m_wait),
                 PgpResult::Done);
        QCOMPARE(tray.handed,
                 jis ? QStringLiteral("\x1b$BF|K\\\x1b(B\n") : QStringLiteral("日本\n"));
    }

    void onlyTextAndRtfAreKept_data()
    {
        QTest::addColumn<bool>("rtf");
        QTest::addColumn<bool>("applicationRtf");
        QTest::newRow("text only") << false << false;
        QTest::newRow("text and text/rtf") << true << false;
        QTest::newRow("text, text/rtf and application/rtf") << true << true;
    }

    void onlyTextAndRtfAreKept()
    {
        QFETCH(bool, rtf);
        QFETCH(bool, applicationRtf);
        putUserClipboard(rtf, applicationRtf);
        const platform::ClipboardCopy copy = platform::SaveClipboard();
        QGuiApplication::clipboard()->setText(QStringLiteral("別の文"));
        platform::RestoreClipboard(copy);
        const QByteArray targets = xclipRead(QStringLiteral("TARGETS"));
        QCOMPARE(QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING"))), kUserText);
        QCOMPARE(targets.contains("text/rtf"), rtf);
        QCOMPARE(targets.contains("application/rtf"), applicationRtf);
        if (rtf)
            QCOMPARE(xclipRead(QStringLiteral("text/rtf")), kUserRtf);
        if (applicationRtf)
            QCOMPARE(xclipRead(QStringLiteral("application/rtf")), kUserRtf + "app");
    }

    void aClipboardWithoutTextIsRestoredEmpty()
    {
        auto* data = new QMimeData;
        data->setData(QStringLiteral("text/rtf"), kUserRtf);
        QGuiApplication::clipboard()->setMimeData(data);
        const platform::ClipboardCopy copy = platform::SaveClipboard();
        QVERIFY(!copy.hasText);
        QGuiApplication::clipboard()->setText(QStringLiteral("別の文"));
        platform::RestoreClipboard(copy);
        QCOMPARE(xclipRead(QStringLiteral("UTF8_STRING")), QByteArray("(nothing)"));
    }

    void aTextJisCannotCarryIsNeverSent_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("jisConvMode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named"); // empty: sent
        QTest::newRow("emoji, sign as JIS") << "sign" << 2 << "絵😀\r\n"
                                            << "U+1F600";
        QTest::newRow("emoji, check as JIS") << "check" << 4 << "絵😀\r\n"
                                             << "U+1F600";
        QTest::newRow("half-width kana, sign as JIS") << "sign" << 2 << "ｶﾅ\r\n"
                                                      << "U+FF76";
        QTest::newRow("half-width kana, check as JIS") << "check" << 4 << "ｶﾅ\r\n"
                                                       << "";
        QTest::newRow("emoji, sign as UTF-8") << "sign" << 5 << "絵😀\r\n"
                                              << "";
    }

    // A character the conversion would drop or the way would change never reaches the tray:
    // the user is told which one, and text and clipboard stay.
    void aTextJisCannotCarryIsNeverSent()
    {
        QFETCH(QString, word);
        QFETCH(int, jisConvMode);
        QFETCH(QString, text);
        QFETCH(QString, named);
        TestTray tray(m_wait.socketPath);
        putUserClipboard();
        pgp::PgpSettings settings;
        settings.JisConvMode = jisConvMode;
        std::u16string given = text.toStdU16String();
        PgpResult result = PgpResult::Failed;
        const Message message = answeringMessage([&] {
            result = pgpui::PgpTrayRun(2, word.toStdString(), given, settings, nullptr, m_wait);
        });
        QCOMPARE(result, named.isEmpty() ? PgpResult::Done : PgpResult::Cancelled);
        QCOMPARE(tray.lines.size(), named.isEmpty() ? 1 : 0);
        QVERIFY2(message.text.contains(named), qPrintable(message.text));
        if (!named.isEmpty())
            QCOMPARE(QString::fromStdU16String(given), text);
        checkUserClipboardBack();
    }

    void theRunnerTakesTheTrayPathForPgpVerOneAndTwo_data()
    {
        QTest::addColumn<int>("pgpVer");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("handed");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("after");
        const QString indented = QStringLiteral("  本文\r\n\r\n  二行\r\n");
        QTest::newRow("sign, PgpVer 1") << 1 << "sign"
                                        << "command 40018"
                                        << "  本文\n\n  二行\n"
                                        << 0 << "結果の文";
        QTest::newRow("encrypt, PgpVer 2") << 2 << "encrypt"
                                           << "command 40025"
                                           << "  本文\n\n  二行\n"
                                           << 0 << "結果の文";
        QTest::newRow("check, PgpVer 2, indentation given back") << 2 << "check"
                                                                 << "command 40028"
                                                                 << "本文\n\n二行\n"
                                                                 << 0 << "  結果の文";
        QTest::newRow("add, PgpVer 1, text kept") << 1 << "add"
                                                  << "command 40006"
                                                  << "本文\n\n二行\n"
                                                  << -1 << indented;
    }

    // The window passes version -1: PgpVer chooses the tray, which the runner waits for as for
    // kestrova-command, cutting and giving back the indentation of a checked text as there.
    void theRunnerTakesTheTrayPathForPgpVerOneAndTwo()
    {
        QFETCH(int, pgpVer);
        QFETCH(QString, word);
        QFETCH(QString, line);
        QFETCH(QString, handed);
        QFETCH(int, expected);
        QFETCH(QString, after);
        TestTray tray(m_wait.socketPath);
        putUserClipboard();
        QWidget window;
        pgpui::UserListSlots userList;
        pgpui::PgpRunner runner(&window, userList);
        runner.setTrayWait(m_wait);
        bool runningMeanwhile = false;
        tray.onCommand = [&] { runningMeanwhile = runner.running(); };
        pgp::PgpSettings settings;
        settings.PgpVer = pgpVer;
        settings.JisConvMode = 0;
        std::u16string text = u"  本文\r\n\r\n  二行\r\n";
        QCOMPARE(static_cast<int>(runner.PgpCommand(word.toStdString(), text, -1, settings)),
                 expected);
        QCOMPARE(tray.lines, QStringList{line});
        QCOMPARE(tray.handed, handed);
        QVERIFY(runningMeanwhile);
        QVERIFY(!runner.running());
        QCOMPARE(QString::fromStdU16String(text), after);
        checkUserClipboardBack();
    }

    // "署名" with PgpVer 2 and ViewMini 1: the tray is asked to raise its dialogs, the controls
    // are off while it works, the result takes the undo slot, and the same button then puts
    // the text back without asking the tray.
    void theWindowUndoesATrayCommand()
    {
        TestTray tray(m_wait.socketPath);
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(),
                           "[Settings]\r\nPgpFlg=1\r\nPgpVer=2\r\nViewMini=1\r\n");
        setClipboard(QStringLiteral("本文\n"));
        const auto window = startWindow(sandbox);
        window->show();
        auto& w = *window;
        QVERIFY(!ShellTestAccess::cmdPGPPubKey(w)->isEnabled());
        QVERIFY(!ShellTestAccess::cmdPGPFingerPrint(w)->isEnabled());
        bool offMeanwhile = false;
        tray.onCommand = [&] {
            offMeanwhile = !ShellTestAccess::cmdPGPCheck(w)->isEnabled() &&
                           !ShellTestAccess::cmdUpdate(w)->isEnabled() &&
                           !ShellTestAccess::txtData(w)->isEnabled();
        };
        ShellTestAccess::cmdPGPSign(w)->click();
        QCOMPARE(tray.lines,
                 (QStringList{QStringLiteral("topmost"), QStringLiteral("command 40026")}));
        QVERIFY(offMeanwhile);
        QCOMPARE(ShellTestAccess::txtData(w)->toPlainText(), tray.result);
        QCOMPARE(ShellTestAccess::UndoCmd(w), static_cast<int>(shell::UndoCommand::PgpSign));
        ShellTestAccess::cmdPGPSign(w)->click();
        QCOMPARE(ShellTestAccess::txtData(w)->toPlainText(), QStringLiteral("本文\n"));
        QCOMPARE(ShellTestAccess::UndoCmd(w), static_cast<int>(shell::UndoCommand::None));
        QCOMPARE(tray.lines.size(), 2);
    }

    // As during a kestrova-command run: the window asks, stops waiting and then closes.
    void closingTheWindowDuringATrayWaitStopsIt()
    {
        TestTray tray(m_wait.socketPath);
        tray.answer.reset();
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nPgpFlg=1\r\nPgpVer=1\r\n");
        setClipboard(QStringLiteral("本文\n"));
        const auto window = startWindow(sandbox);
        window->show();
        ModalDriver driver;
        driver.answerNext(QMessageBox::Yes);
        tray.onCommand = [&] { QTimer::singleShot(0, window.get(), &QWidget::close); };
        QElapsedTimer took;
        took.start();
        ShellTestAccess::cmdPGPSign(*window)->click();
        QVERIFY(took.elapsed() < 120'000); // the tray's own limit is ten minutes
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QVERIFY(driver.boxes()[0].text.contains(QStringLiteral("PGP の処理が終わっていません")));
        QVERIFY(!window->isVisible());
        QCOMPARE(ShellTestAccess::txtData(*window)->toPlainText(), QStringLiteral("本文\n"));
    }

    void recipientsShowsUnusableKeysWithTheirReason()
    {
        pgp::Key good;
        good.fingerprint = "AAAA1111BBBB2222CCCC3333DDDD4444EEEE5555";
        good.validity = 'u';
        good.capabilities = "scESC";
        good.userIds = {"Alice <alice@example.org>"};
        pgp::Key revoked = good;
        revoked.fingerprint = "1111AAAA2222BBBB3333CCCC4444DDDD5555EEEE";
        revoked.validity = 'r';
        revoked.userIds = {"Bob <bob@example.org>"};
        tray::RecipientsDialog dialog({good, revoked}, 1'700'000'000);
        QListWidget* list = dialog.list();
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(1)->text().contains(QStringLiteral("失効しています")));
        QVERIFY(!(list->item(1)->flags() & Qt::ItemIsSelectable));
        list->selectAll();
        QCOMPARE(dialog.chosen(), std::vector<std::string>{good.fingerprint});

        dialog.search()->setText(QStringLiteral("bob@"));
        QVERIFY(list->item(0)->isHidden());
        QVERIFY(!list->item(1)->isHidden());
        dialog.search()->setText(QStringLiteral("AAAA 1111"));
        QVERIFY(!list->item(0)->isHidden());
        QVERIFY(list->item(1)->isHidden());
    }

    void aSecondTrayFindsTheFirstRunning()
    {
        const QString path = m_folder.filePath(QStringLiteral("second"));
        tray::TrayApp first({}, path);
        QString why;
        QCOMPARE(first.start(&why), tray::TrayApp::Start::Listening);
        tray::TrayApp second({}, path);
        QCOMPARE(second.start(&why), tray::TrayApp::Start::AlreadyRunning);
    }
};

} // namespace
} // namespace kestrova::test

QTEST_MAIN(kestrova::test::TrayBridgeTest)
#include "bridge_test.moc"
