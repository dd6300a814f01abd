// The undo slot the text commands share, and the captions that show it.
#include "shell_support.h"

#include "engine/hantozen.h"
#include "engine/reflow.h"
#include "platform/qtext.h"

#include <QApplication>
#include <QTest>

namespace kestrova::test {

using shell::ShellTestAccess;

namespace {

const QString kLongLine = QStringLiteral(
    "これはとても長い行なので、七十桁でそろえると二行に分かれるはずです。ｶﾀｶﾅも入っています。");

std::u16string aligned(shell::dorUrerUvuroze& w, const std::u16string& text)
{
    engine::ReflowState state;
    return engine::TextUpdate(text, ShellTestAccess::reflowSettings(w), state);
}

QString onClipboard(std::u16string text)
{
    QString plain = platform::toQString(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return plain;
}

} // namespace

class UndoTest : public QObject
{
    Q_OBJECT

private slots:
    void alignOffersUndoAndUndoPutsTheTextBack()
    {
        Sandbox sandbox;
        setClipboard(kLongLine);
        auto w = startWindow(sandbox);
        const std::u16string before = w->boxText();
        const std::u16string expected = aligned(*w, before);
        QVERIFY(expected != before);

        ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(w->boxText(), expected);
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("元に戻す(&U)"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 1);
        QCOMPARE(clipboard(), onClipboard(expected));
        QVERIFY(!QApplication::overrideCursor());

        ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(w->boxText(), before);
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("そろえる(&S)"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
        QCOMPARE(clipboard(), onClipboard(before));
        QVERIFY(!QApplication::overrideCursor());
    }

    void alignOnAlignedTextChangesNothingButStillWritesTheClipboard()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("短い行\n"));
        auto w = startWindow(sandbox);
        setClipboard(QStringLiteral("something else"));
        ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("そろえる(&S)"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
        QCOMPARE(clipboard(), QStringLiteral("短い行\n"));
    }

    void aSecondCommandTakesTheSlotAndUndoesOnlyItself()
    {
        Sandbox sandbox;
        setClipboard(kLongLine);
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdUpdate(*w)->click();
        const std::u16string alignedText = w->boxText();

        ShellTestAccess::cmdHanToZen(*w)->click();
        QCOMPARE(w->boxText(), engine::widenKana(alignedText));
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("そろえる(&S)"));
        QCOMPARE(ShellTestAccess::cmdHanToZen(*w)->text(), QStringLiteral("元に戻す"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 7);

        ShellTestAccess::cmdHanToZen(*w)->click();
        QCOMPARE(w->boxText(), alignedText);
        QCOMPARE(ShellTestAccess::cmdHanToZen(*w)->text(), QStringLiteral("ｶﾅ>カナ"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
    }

    void widenWithoutHalfWidthKanaOffersNoUndo()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("abc あ ＡＢ"));
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdHanToZen(*w)->click();
        QCOMPARE(ShellTestAccess::cmdHanToZen(*w)->text(), QStringLiteral("ｶﾅ>カナ"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
    }

    void typingEndsTheOfferOfUndo()
    {
        Sandbox sandbox;
        setClipboard(kLongLine);
        auto w = startWindow(sandbox);
        w->show();
        ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 1);

        QTest::keyClick(ShellTestAccess::txtData(*w), Qt::Key_A);
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("そろえる(&S)"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
        // The button now aligns again instead of putting back the old text.
        ShellTestAccess::cmdUpdate(*w)->click();
        QVERIFY(w->boxText() != platform::toU16(kLongLine));
        QVERIFY(w->boxText().find(u'a') != std::u16string::npos);
    }

    void quotingClearsTheSlotAndIsNotUndoable()
    {
        Sandbox sandbox;
        setClipboard(kLongLine);
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdUpdate(*w)->click();
        const std::u16string alignedText = w->boxText();

        ShellTestAccess::cmdInyoAdd(*w)->click();
        QCOMPARE(ShellTestAccess::cmdUpdate(*w)->text(), QStringLiteral("そろえる(&S)"));
        QCOMPARE(ShellTestAccess::UndoCmd(*w), 0);
        QVERIFY(w->boxText().starts_with(u"≫"));
        QCOMPARE(clipboard(), onClipboard(w->boxText()));

        ShellTestAccess::cmdInyoDel(*w)->click();
        QCOMPARE(w->boxText(), alignedText);
    }

    void quotingFollowsTheExamples_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("two lines") << QStringLiteral("abc\ndef") << QStringLiteral("≫abc\n≫def");
        QTest::newRow("final line end") << QStringLiteral("abc\n") << QStringLiteral("≫abc\n≫");
        QTest::newRow("empty") << QString() << QStringLiteral("≫");
    }

    void quotingFollowsTheExamples()
    {
        QFETCH(QString, text);
        QFETCH(QString, quoted);
        Sandbox sandbox;
        setClipboard(text);
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdInyoAdd(*w)->click();
        QCOMPARE(w->boxText(), crlf(quoted));
    }

    void unquotingTrimsTheQuoteCharacters()
    {
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nInyofu=  >  \r\n");
        setClipboard(QStringLiteral(">abc\n  > x"));
        auto w = startWindow(sandbox);
        ShellTestAccess::cmdInyoDel(*w)->click();
        QCOMPARE(w->boxText(), crlf(QStringLiteral("abc\n > x")));
        QCOMPARE(ShellTestAccess::record(*w).Inyofu, std::u16string(u">"));
    }
};

std::unique_ptr<QObject> makeUndoTest() { return std::make_unique<UndoTest>(); }

} // namespace kestrova::test

#include "undo_test.moc"
