// PgpTrayRun and PgpTraySend against a test tray on a socket, the clipboard kept aside and
// given back (checked from outside with xclip on the real X clipboard), and the tray's
// recipients dialog. Runs under Xvfb.
#include "modal_answer.h"

#include "pgp/trayprotocol.h"
#include "pgpui/tray.h"
#include "platform/clipsave.h"
#include "tray/recipients.h"
#include "tray/trayapp.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QElapsedTimer>
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
    QString handed; // the clipboard's text when the command came
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
        pgpui::TraySettings settings;
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
        pgpui::TraySettings settings;
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
        pgpui::TraySettings settings;
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
