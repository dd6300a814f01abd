// The control keys the window takes over from the text box, and files dropped on it.
#include "shell_support.h"

#include "platform/qtext.h"

#include <QApplication>
#include <QMimeData>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

void ctrl(shell::dorUrerUvuroze& w, Qt::Key key, Qt::KeyboardModifiers more = Qt::NoModifier)
{
    QTest::keyClick(ShellTestAccess::txtData(w), key, Qt::ControlModifier | more);
}

// Drags data over the text box and drops it; true when the box took the drop.
bool drop(shell::dorUrerUvuroze& w, QMimeData* data)
{
    QWidget* viewport = ShellTestAccess::txtData(w)->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &dropped);
    return enter.isAccepted() && dropped.isAccepted();
}

std::unique_ptr<shell::dorUrerUvuroze> shown(const Sandbox& sandbox, const QString& arguments = {})
{
    auto w = startWindow(sandbox, arguments);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("the window was not shown");
    ShellTestAccess::txtData(*w)->setFocus();
    return w;
}

} // namespace

class KeysTest : public QObject
{
    Q_OBJECT

private slots:
    void ctrlZNeverChangesTheText()
    {
        Sandbox sandbox;
        setClipboard(QString());
        auto w = shown(sandbox);
        QTest::keyClicks(ShellTestAccess::txtData(*w), QStringLiteral("abc"));
        ctrl(*w, Qt::Key_Z);
        QCOMPARE(w->boxText(), std::u16string(u"abc"));
        ctrl(*w, Qt::Key_Z, Qt::ShiftModifier);
        QCOMPARE(w->boxText(), std::u16string(u"abc"));
        QVERIFY(!ShellTestAccess::txtData(*w)->document()->isUndoAvailable());
    }

    void ctrlAThenCtrlCCopiesEverything()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("一行目\n二行目\u00a0終"));
        auto w = shown(sandbox);
        setClipboard(QString());
        ctrl(*w, Qt::Key_A);
        ctrl(*w, Qt::Key_C);
        QCOMPARE(clipboard(), QStringLiteral("一行目\n二行目\u00a0終"));
    }

    void ctrlCWithNothingSelectedEmptiesTheClipboard()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("text"));
        auto w = shown(sandbox);
        ctrl(*w, Qt::Key_C);
        QCOMPARE(clipboard(), QString());
    }

    void ctrlXCutsAndCountsAsAChangeInPluginMode()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("a.txt"));
        Sandbox::writeFile(file, "abcdef");
        auto w = shown(sandbox, QStringLiteral("-f ") + file);
        QCOMPARE(ShellTestAccess::Modified(*w), false);
        QTextCursor cursor = ShellTestAccess::txtData(*w)->textCursor();
        cursor.setPosition(1);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        ShellTestAccess::txtData(*w)->setTextCursor(cursor);
        ctrl(*w, Qt::Key_X);
        QCOMPARE(clipboard(), QStringLiteral("bc"));
        QCOMPARE(w->boxText(), std::u16string(u"adef"));
        QCOMPARE(ShellTestAccess::Modified(*w), true);
    }

    void ctrlVPastesTheClipboardAsItIs()
    {
        Sandbox sandbox;
        setClipboard(QString());
        auto w = shown(sandbox);
        const QString jis = QStringLiteral("\x1b$B$3$s\x1b(B") + QString(40000, QLatin1Char('x'));
        setClipboard(jis);
        ModalDriver driver;
        ctrl(*w, Qt::Key_V);
        QCOMPARE(platform::toQString(w->boxText()), jis);
        QCOMPARE(driver.boxes().size(), std::size_t(0));
    }

    void ctrlOInPluginModeShowsNoDialog()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("a.txt"));
        Sandbox::writeFile(file, "abc");
        auto w = shown(sandbox, QStringLiteral("-f ") + file);
        ModalDriver driver;
        ctrl(*w, Qt::Key_O);
        QTest::qWait(50);
        QCOMPARE(driver.fileDialogs(), 0);
        QCOMPARE(w->boxText(), std::u16string(u"abc"));
    }

    void ctrlSInPluginModeSavesAtOnceAndExitNoLongerAsks()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("a.txt"));
        Sandbox::writeFile(file, "abc\r\n");
        auto w = shown(sandbox, QStringLiteral("-f ") + file);
        ShellTestAccess::cmdInyoAdd(*w)->click();
        QCOMPARE(ShellTestAccess::Modified(*w), true);
        ModalDriver driver;
        ctrl(*w, Qt::Key_S);
        QCOMPARE(driver.fileDialogs(), 0);
        // An ASCII file has no code of its own: the quote marks are written as UTF-8.
        QCOMPARE(Sandbox::readFile(file), QByteArray("≫abc\r\n≫"));
        QCOMPARE(ShellTestAccess::Modified(*w), false);
        ShellTestAccess::cmdExit(*w)->click();
        QCOMPARE(driver.boxes().size(), std::size_t(0));
        QVERIFY(!w->isVisible());
    }

    // Alt+S and Alt+U do their work within the key press, not a tenth of a second later.
    void accessKeysClickTheirButtonAtOnce()
    {
        Sandbox sandbox;
        const QString line = QString(50, QChar(u'あ'));
        setClipboard(line);
        auto w = shown(sandbox);
        const std::u16string before = w->boxText();
        QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 1);
        QVERIFY(w->boxText() != before);
        const QString aligned =
            QString(35, QChar(u'あ')) + u'\n' + QString(15, QChar(u'あ')) + u'\n';
        QCOMPARE(clipboard(), aligned);
        QTest::keyClick(w.get(), Qt::Key_U, Qt::AltModifier);
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
        QCOMPARE(w->boxText(), before);
        QCOMPARE(clipboard(), line);
    }

    // Alt with a letter is a command, never typing: with the align button offering undo,
    // Alt+S finds no button and must not put an "s" into the mail, nor end the offer.
    void altWithALetterNoButtonAnswersDoesNothing()
    {
        Sandbox sandbox;
        setClipboard(QString(50, QChar(u'あ')));
        auto w = shown(sandbox);
        QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 1);
        const std::u16string aligned = w->boxText();
        for (Qt::Key key : {Qt::Key_S, Qt::Key_Q, Qt::Key_1})
            QTest::keyClick(ShellTestAccess::txtData(*w), key, Qt::AltModifier);
        QCOMPARE(w->boxText(), aligned);
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 1);
        // After an edit the undo button reads "そろえる(&S)" again: Alt+U answers nothing.
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_X);
        const std::u16string edited = w->boxText();
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_U, Qt::AltModifier);
        QCOMPARE(w->boxText(), edited);
        // Keys without Alt still type.
        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_S);
        QVERIFY(w->boxText() != edited);
    }

    // After a click on a command the user types on: the keyboard stays with the text.
    void clickingACommandLeavesTheKeyboardWithTheText()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("abc"));
        auto w = shown(sandbox);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QPlainTextEdit* box = ShellTestAccess::txtData(*w);
        box->setFocus();
        QVERIFY(box->hasFocus());
        for (QPushButton* button : {ShellTestAccess::cmdInyoAdd(*w), ShellTestAccess::cmdUpdate(*w),
                                    ShellTestAccess::cmdRead(*w)}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY2(box->hasFocus(), qPrintable(button->text()));
        }
        box->moveCursor(QTextCursor::End);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z);
        QVERIFY(w->boxText().ends_with(u"z"));
        // Tab still reaches the buttons.
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), ShellTestAccess::cmdRead(*w));
    }

    void otherControlKeysReachTheTextBox()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("abc def"));
        auto w = shown(sandbox);
        QTextCursor cursor = ShellTestAccess::txtData(*w)->textCursor();
        cursor.setPosition(0);
        ShellTestAccess::txtData(*w)->setTextCursor(cursor);
        ctrl(*w, Qt::Key_End);
        QCOMPARE(ShellTestAccess::txtData(*w)->textCursor().position(), 7);
    }

    void droppingFilesOpensTheFirstAndCopiesIt()
    {
        Sandbox sandbox;
        const QStringList files = {sandbox.path(QStringLiteral("1.txt")),
                                   sandbox.path(QStringLiteral("2.txt")),
                                   sandbox.path(QStringLiteral("3.txt"))};
        for (const QString& file : files)
            Sandbox::writeFile(file, QFileInfo(file).baseName().toUtf8() + " 番目");
        setClipboard(QString());
        auto w = shown(sandbox);
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1]),
                       QUrl::fromLocalFile(files[2])});
        QVERIFY(drop(*w, data.get()));
        QTRY_COMPARE(w->boxText(), std::u16string(u"1 番目"));
        QCOMPARE(w->windowTitle(),
                 QStringLiteral("Kestrova  - ") + files[0] + QStringLiteral("  UTF-8"));
        QCOMPARE(clipboard(), QStringLiteral("1 番目"));
    }

    void droppedTextIsIgnored()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("kept"));
        auto w = shown(sandbox);
        auto data = std::make_unique<QMimeData>();
        data->setText(QStringLiteral("dropped text"));
        QVERIFY(!drop(*w, data.get()));
        QTest::qWait(20);
        QCOMPARE(w->boxText(), std::u16string(u"kept"));
    }

    void aDropInPluginModeReplacesTheTextAndCountsAsAChange()
    {
        Sandbox sandbox;
        const QString plugin = sandbox.path(QStringLiteral("plugin.txt"));
        const QString other = sandbox.path(QStringLiteral("other.txt"));
        Sandbox::writeFile(plugin, "plugin");
        Sandbox::writeFile(other, "other");
        setClipboard(QString());
        auto w = shown(sandbox, QStringLiteral("-f ") + plugin);
        auto data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(other)});
        QVERIFY(drop(*w, data.get()));
        QTRY_COMPARE(w->boxText(), std::u16string(u"other"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Kestrova  - Plugin Mode"));
        QCOMPARE(clipboard(), QStringLiteral("other"));
        QCOMPARE(ShellTestAccess::Modified(*w), true);
        QCOMPARE(ShellTestAccess::PluginFile(*w), plugin);
    }
};

std::unique_ptr<QObject> makeKeysTest() { return std::make_unique<KeysTest>(); }

} // namespace kestrova::test

#include "keys_test.moc"
