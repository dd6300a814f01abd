// The clipboard: the 32767-byte limit, JIS recognition, and characters that must survive.
#include "shell_support.h"

#include "engine/cp932.h"
#include "io/jis2sjis.h"
#include "platform/clipboard.h"
#include "platform/qtext.h"

#include <QTest>

namespace kestrova::test {

using shell::ShellTestAccess;

class ClipboardTest : public QObject
{
    Q_OBJECT

private slots:
    void theByteLimitCutsWithItsMessage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("percent"); // -1: no message
        QTest::newRow("32767 bytes whole") << QString(16383, QChar(u'あ')) + QLatin1Char('a')
                                           << QString(16383, QChar(u'あ')) + QLatin1Char('a') << -1;
        QTest::newRow("32768 bytes lose the last")
            << QString(32768, QLatin1Char('a')) << QString(32767, QLatin1Char('a')) << 99;
        QTest::newRow("a two-byte character across the limit goes whole")
            << QLatin1Char('a') + QString(16384, QChar(u'あ'))
            << QLatin1Char('a') + QString(16383, QChar(u'あ')) << 99;
        QTest::newRow("40000 bytes")
            << QString(40000, QLatin1Char('x')) << QString(32767, QLatin1Char('x')) << 81;
        QTest::newRow("an emoji counts its two columns")
            << QString(32766, QLatin1Char('x')) + QStringLiteral("😀")
            << QString(32766, QLatin1Char('x')) << 99;
        // The user's 8 MB would be replaced by the first 32 KB at the next Alt+S: tell.
        QTest::newRow("8 MB, whose percentage rounds to 0")
            << QString(8000000, QLatin1Char('x')) << QString(32767, QLatin1Char('x')) << 0;
    }

    void theByteLimitCutsWithItsMessage()
    {
        QFETCH(QString, text);
        QFETCH(QString, kept);
        QFETCH(int, percent);
        Sandbox sandbox;
        setClipboard(text);
        ModalDriver driver;
        auto w = startWindow(sandbox);
        QCOMPARE(platform::toQString(w->boxText()), kept);
        if (percent < 0) {
            QCOMPARE(driver.boxes().size(), std::size_t(0));
            return;
        }
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].text,
                 QStringLiteral("ｻｲｽﾞが大きいので %1％しか表示できません").arg(percent));
        QCOMPARE(driver.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(driver.boxes()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(driver.boxes()[0].title, QStringLiteral("Kestrova"));
    }

    void withoutConversionNothingIsCutOrConverted()
    {
        Sandbox sandbox;
        Sandbox::writeFile(sandbox.iniPath(), "[Settings]\r\nConvMode=0\r\n");
        const QString jis =
            QStringLiteral("\x1b$B$3$s$K$A$O\x1b(B") + QString(40000, QLatin1Char('x'));
        setClipboard(jis);
        ModalDriver driver;
        auto w = startWindow(sandbox);
        QCOMPARE(platform::toQString(w->boxText()), jis);
        QCOMPARE(driver.boxes().size(), std::size_t(0));
    }

    void jisTextIsConverted_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("shown");
        QTest::newRow("kanji") << QStringLiteral("\x1b$B$3$s$K$A$O\x1b(B\n2 lines")
                               << QStringLiteral("こんにちは\n2 lines");
        QTest::newRow("half-width kana by shift out")
            << QStringLiteral("\x0e\x36\x40\x0f!") << QStringLiteral("ｶﾀ!");
        QTest::newRow("an emoji between two kanji runs stays")
            << QStringLiteral("\x1b$B$3$s\x1b(B😀\x1b$B$K$A$O\x1b(B")
            << QStringLiteral("こん😀にちは");
        QTest::newRow("an emoji inside a kanji run stays")
            << QStringLiteral("\x1b$B$3$s😀$K$A$O\x1b(B") << QStringLiteral("こん😀にちは");
    }

    void jisTextIsConverted()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, shown);
        Sandbox sandbox;
        setClipboard(clipboard);
        auto w = startWindow(sandbox);
        QCOMPARE(w->boxText(), crlf(shown));
    }

    void otherTextIsNeverReadAsEuc()
    {
        // Read as EUC, as the byte detection would take it, this text came out garbled.
        const std::u16string text = u"ｱｲｽ珈琲";
        const auto bytes = engine::toCp932(text);
        io::ByteBuffer buffer(bytes->begin(), bytes->end());
        QCOMPARE(io::decodeConvertResult(io::CodeConvert(buffer, io::kTargetSjis)).family,
                 io::CodeFamily::Euc);

        Sandbox sandbox;
        setClipboard(platform::toQString(text));
        auto w = startWindow(sandbox);
        QCOMPARE(w->boxText(), text);
    }

    void charactersWithoutAShiftJisFormSurvive_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("hangul and emoji") << QStringLiteral("한국어 😀 text");
        QTest::newRow("no-break space") << QStringLiteral("a\u00a0b");
        QTest::newRow("wave dash") << QStringLiteral("〜～");
    }

    void charactersWithoutAShiftJisFormSurvive()
    {
        QFETCH(QString, text);
        Sandbox sandbox;
        setClipboard(text);
        auto w = startWindow(sandbox);
        QCOMPARE(platform::toQString(w->boxText()), text);
        ShellTestAccess::cmdUpdate(*w)->click();
        QCOMPARE(clipboard(), text);
    }

    void anEmptyBoxLeavesAnEmptyClipboard()
    {
        Sandbox sandbox;
        setClipboard(QString());
        auto w = startWindow(sandbox);
        setClipboard(QStringLiteral("old"));
        w->TextWrite();
        QCOMPARE(clipboard(), QString());
    }

    void reReadingTheClipboardKeepsTheCaption()
    {
        Sandbox sandbox;
        const QString file = sandbox.path(QStringLiteral("a.txt"));
        Sandbox::writeFile(file, "file text");
        auto w = startWindow(sandbox, file);
        const QString caption = w->windowTitle();
        QVERIFY(caption.contains(file));
        setClipboard(QStringLiteral("clipboard text"));
        ShellTestAccess::cmdRead(*w)->click();
        QCOMPARE(w->boxText(), std::u16string(u"clipboard text"));
        QCOMPARE(w->windowTitle(), caption);
    }

    void textWrite2PutsJisOnTheClipboard()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("こんにちは\nabc"));
        auto w = startWindow(sandbox);
        int mode = 1;
        w->TextWrite2(mode);
        QCOMPARE(clipboard(), QStringLiteral("\x1b$B$3$s$K$A$O\x1b(B\nabc"));
        mode = 0;
        w->TextWrite2(mode);
        QCOMPARE(clipboard(), QStringLiteral("こんにちは\nabc"));
    }

    void textWrite2RefusesWhatJisCannotHold()
    {
        Sandbox sandbox;
        setClipboard(QStringLiteral("😀"));
        auto w = startWindow(sandbox);
        setClipboard(QStringLiteral("kept"));
        ModalDriver driver;
        int mode = 1;
        w->TextWrite2(mode);
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(clipboard(), QStringLiteral("kept"));
    }

    void readClipboardHasItsOwnWording()
    {
        setClipboard(QString(40000, QLatin1Char('x')));
        ModalDriver driver;
        const std::u16string text = platform::ReadClipboard(1, nullptr);
        QCOMPARE(text.size(), std::size_t(32767));
        QCOMPARE(driver.boxes().size(), std::size_t(1));
        QCOMPARE(driver.boxes()[0].text, QStringLiteral("ｻｲｽﾞが大きいので 81％しか読みこめません"));
        setClipboard(QString(4000000, QLatin1Char('x')));
        QCOMPARE(platform::ReadClipboard(1, nullptr).size(), std::size_t(32767));
        QCOMPARE(driver.boxes().size(), std::size_t(2));
        QCOMPARE(driver.boxes()[1].text, QStringLiteral("ｻｲｽﾞが大きいので 0％しか読みこめません"));
    }
};

std::unique_ptr<QObject> makeClipboardTest() { return std::make_unique<ClipboardTest>(); }

} // namespace kestrova::test

#include "clipboard_test.moc"
