// The window's rooms reached without the window: the command line, the undo slot and the
// window's files.
#include "shell/commandline.h"
#include "shell/textfiles.h"
#include "shell/undoslot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <string>

namespace kestrova::shell {
namespace {

struct CommandLineRow
{
    const char* name;
    std::u16string arguments;
    bool pluginMode;
    std::u16string file;
};

class ParseCommandLine : public testing::TestWithParam<CommandLineRow>
{
};

TEST_P(ParseCommandLine, TakesTheModeAndTheFileName)
{
    const CommandLineRow& row = GetParam();
    const CommandLine line = parseCommandLine(row.arguments);
    EXPECT_EQ(line.pluginMode, row.pluginMode);
    EXPECT_EQ(line.file, row.file);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseCommandLine,
    testing::Values(CommandLineRow{"Empty", u"", false, u""},
                    CommandLineRow{"PlainName", u"mail.txt", false, u"mail.txt"},
                    CommandLineRow{"QuotedNameWithBlanks", u"\"my mail/a b.txt\"", false,
                                   u"my mail/a b.txt"},
                    CommandLineRow{"BlanksAroundAName", u"  a.txt  ", false, u"a.txt"},
                    CommandLineRow{"DashF", u"-f a.txt", true, u"a.txt"},
                    CommandLineRow{"DashUpperF", u"-F a.txt", true, u"a.txt"},
                    CommandLineRow{"DashFWithoutBlank", u"-fa.txt", true, u"a.txt"},
                    CommandLineRow{"DashFQuotedWithBlanksAround", u"-F  \"my mail/a b.txt\"  ",
                                   true, u"my mail/a b.txt"},
                    CommandLineRow{"BlanksInsideQuotesStay", u"-f \" a.txt \"", true, u"a.txt"},
                    CommandLineRow{"DashFAlone", u"-f", true, u""},
                    CommandLineRow{"DashFAndALoneQuote", u"-f \"", true, u""},
                    CommandLineRow{"ALoneQuote", u"\"", false, u""},
                    CommandLineRow{"AnotherOptionIsAName", u"-x", false, u"-x"},
                    CommandLineRow{"DashFLaterIsAName", u" -f a.txt", false, u"-f a.txt"},
                    CommandLineRow{"JapaneseName", u"-f 返信.txt", true, u"返信.txt"}),
    [](const testing::TestParamInfo<CommandLineRow>& row) { return row.param.name; });

class UndoSlotTest : public testing::Test
{
protected:
    UndoSlotTest()
    {
        m_slot.setHolder(UndoCommand::Update, &m_update);
        m_slot.setHolder(UndoCommand::PgpSign, &m_sign);
        m_update.setText(UndoSlot::normalCaption(UndoCommand::Update));
        m_sign.setText(UndoSlot::normalCaption(UndoCommand::PgpSign));
    }

    QPushButton m_update;
    QPushButton m_sign;
    UndoSlot m_slot;
};

TEST_F(UndoSlotTest, AnOfferKeepsTheTextAndTurnsItsButtonIntoUndo)
{
    const UndoSlot::Pending pending = m_slot.begin(UndoCommand::Update, u"before");
    EXPECT_FALSE(m_slot.offers(UndoCommand::Update));
    m_slot.offer(pending);
    EXPECT_TRUE(m_slot.offers(UndoCommand::Update));
    EXPECT_FALSE(m_slot.offers(UndoCommand::PgpSign));
    EXPECT_EQ(m_slot.UndoCmd(), UndoCommand::Update);
    EXPECT_EQ(m_slot.UndoText(), u"before");
    EXPECT_EQ(m_update.text(), QStringLiteral("元に戻す(&U)"));
    EXPECT_EQ(m_sign.text(), QStringLiteral("署名"));
}

TEST_F(UndoSlotTest, AChangeEndsTheOfferAndPutsTheCaptionBack)
{
    m_slot.offer(m_slot.begin(UndoCommand::Update, u"before"));
    m_slot.clear();
    EXPECT_EQ(m_slot.UndoCmd(), UndoCommand::None);
    EXPECT_FALSE(m_slot.offers(UndoCommand::Update));
    EXPECT_EQ(m_update.text(), QStringLiteral("そろえる(&S)"));
}

TEST_F(UndoSlotTest, CmdPrintPutsTheCaptionBackButKeepsTheSlot)
{
    m_slot.offer(m_slot.begin(UndoCommand::PgpSign, u"mail"));
    EXPECT_EQ(m_sign.text(), QStringLiteral("元に戻す"));
    m_slot.CmdPrint();
    EXPECT_EQ(m_sign.text(), QStringLiteral("署名"));
    EXPECT_EQ(m_slot.UndoCmd(), UndoCommand::PgpSign);
}

TEST_F(UndoSlotTest, ASecondCommandTakesTheSlotFromTheFirst)
{
    m_slot.offer(m_slot.begin(UndoCommand::Update, u"one"));
    const UndoSlot::Pending sign = m_slot.begin(UndoCommand::PgpSign, u"two");
    m_slot.CmdPrint();
    m_slot.offer(sign);
    EXPECT_EQ(m_update.text(), QStringLiteral("そろえる(&S)"));
    EXPECT_EQ(m_sign.text(), QStringLiteral("元に戻す"));
    EXPECT_EQ(m_slot.UndoText(), u"two");
}

// A command whose result arrives later learns whether the text changed meanwhile.
TEST_F(UndoSlotTest, ALateResultKnowsWhenItWasOvertaken)
{
    const UndoSlot::Pending quiet = m_slot.begin(UndoCommand::PgpSign, u"mail");
    EXPECT_FALSE(m_slot.overtaken(quiet));
    const UndoSlot::Pending edited = m_slot.begin(UndoCommand::PgpSign, u"mail");
    m_slot.clear(); // the user typed while the command ran
    EXPECT_TRUE(m_slot.overtaken(edited));
    const UndoSlot::Pending later = m_slot.begin(UndoCommand::Update, u"x");
    m_slot.offer(m_slot.begin(UndoCommand::PgpSign, u"y"));
    EXPECT_TRUE(m_slot.overtaken(later));
}

TEST(UndoCaptions, EveryCommandHasItsCaptionAndOnlyAlignHasAnAccessKey)
{
    const std::pair<UndoCommand, QString> captions[] = {
        {UndoCommand::Update, QStringLiteral("そろえる(&S)")},
        {UndoCommand::PgpCheck, QStringLiteral("復号化")},
        {UndoCommand::PgpSign, QStringLiteral("署名")},
        {UndoCommand::PgpCript, QStringLiteral("暗号化")},
        {UndoCommand::PgpPubKey, QStringLiteral("公開鍵")},
        {UndoCommand::PgpFingerPrint, QStringLiteral("指紋")},
        {UndoCommand::HanToZen, QStringLiteral("ｶﾅ>カナ")},
    };
    for (const auto& [command, caption] : captions) {
        EXPECT_EQ(UndoSlot::normalCaption(command), caption);
        EXPECT_EQ(UndoSlot::undoCaption(command), command == UndoCommand::Update
                                                      ? QStringLiteral("元に戻す(&U)")
                                                      : QStringLiteral("元に戻す"));
    }
    EXPECT_EQ(static_cast<int>(UndoCommand::HanToZen), 7);
    EXPECT_EQ(static_cast<int>(UndoCommand::PgpCheck), 2);
}

class TextFilesTest : public testing::Test
{
protected:
    QString path(const char* name) const { return QDir(m_dir.path()).filePath(name); }

    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    TextFiles m_files;
};

TEST_F(TextFilesTest, AShortTextIsShownWhole)
{
    write(path("a.txt"), QString(16383, u'あ').toUtf8());
    auto shown = m_files.read(path("a.txt"), 1);
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->cut);
    EXPECT_EQ(shown->text.size(), 16383u);
    EXPECT_FALSE(m_files.shownInPart(path("a.txt")));
}

TEST_F(TextFilesTest, ALongTextIsCutWithItsPercentage)
{
    const struct
    {
        int characters;
        int percent;
    } rows[] = {{16384, 99}, {20000, 81}, {600000, 2}, {2000000, 0}};
    for (const auto& row : rows) {
        write(path("big.txt"), QString(row.characters, u'あ').toUtf8());
        auto shown = m_files.read(path("big.txt"), 1);
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->cut) << row.characters;
        EXPECT_EQ(shown->text.size(), kShownCharacterLimit) << row.characters;
        EXPECT_EQ(shown->keptPercent, row.percent) << row.characters;
        EXPECT_TRUE(m_files.shownInPart(path("big.txt")));
    }
}

TEST_F(TextFilesTest, ACutNeverEndsInsideASurrogatePair)
{
    QString text;
    for (int i = 0; i < 20000; ++i)
        text += QString::fromUtf8("😀");
    write(path("emoji.txt"), text.toUtf8());
    auto shown = m_files.read(path("emoji.txt"), 1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text.size(), 2 * kShownCharacterLimit);
}

TEST_F(TextFilesTest, ATextIsSavedInItsFilesFormatUnderAnyName)
{
    write(path("mail.txt"), "返信\nです\n");
    ASSERT_TRUE(m_files.read(path("mail.txt"), 1));
    EXPECT_TRUE(m_files.savedForm().format.utf8);
    EXPECT_TRUE(m_files.savedForm().format.lfOnly);
    ASSERT_TRUE(m_files.write(path("other.txt"), u"返信\r\nでした\r\n"));
    EXPECT_EQ(contents(path("other.txt")), QByteArray("返信\nでした\n"));

    write(path("sjis.txt"), "\x95\xd4\x90\x4d\r\n");
    ASSERT_TRUE(m_files.read(path("sjis.txt"), 1));
    ASSERT_TRUE(m_files.write(path("copy.txt"), u"返信\r\n"));
    EXPECT_EQ(contents(path("copy.txt")), QByteArray("\x95\xd4\x90\x4d\r\n"));
    // A character Shift_JIS cannot hold is refused; the file stays as it was.
    EXPECT_FALSE(m_files.write(path("copy.txt"), u"😀\r\n"));
    EXPECT_EQ(contents(path("copy.txt")), QByteArray("\x95\xd4\x90\x4d\r\n"));
}

TEST_F(TextFilesTest, ATextFromElsewhereIsSavedAsUtf8WithLf)
{
    write(path("sjis.txt"), "\x95\xd4\x90\x4d\r\n");
    ASSERT_TRUE(m_files.read(path("sjis.txt"), 1));
    m_files.textFromElsewhere();
    EXPECT_FALSE(m_files.isOwnFile(path("sjis.txt")));
    ASSERT_TRUE(m_files.write(path("clip.txt"), u"返信😀\r\n"));
    EXPECT_EQ(contents(path("clip.txt")), QByteArray("返信😀\n"));
}

TEST_F(TextFilesTest, WritingTheCutFileWholeEndsItsCut)
{
    write(path("big.txt"), QString(20000, u'a').toUtf8());
    ASSERT_TRUE(m_files.read(path("big.txt"), 1));
    ASSERT_TRUE(m_files.shownInPart(path("big.txt")));
    ASSERT_TRUE(m_files.write(path("big.txt"), u"short"));
    EXPECT_FALSE(m_files.shownInPart(path("big.txt")));
}

TEST_F(TextFilesTest, AVanishedFileIsAnErrorNotAnEmptyText)
{
    auto shown = m_files.read(path("gone.txt"), 1);
    ASSERT_FALSE(shown);
    EXPECT_EQ(shown.error().kind, io::IoErrorKind::NotFound);
}

TEST(SameFile, LinksAndRelativeNamesNameTheSameFile)
{
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("a.txt"));
    QFile(file).open(QIODevice::WriteOnly);
    const QString link = QDir(dir.path()).filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(file, link));
    EXPECT_TRUE(TextFiles::sameFile(file, link));
    EXPECT_TRUE(TextFiles::sameFile(file, QDir(dir.path()).filePath(QStringLiteral("./a.txt"))));
    EXPECT_FALSE(TextFiles::sameFile(file, QDir(dir.path()).filePath(QStringLiteral("b.txt"))));
    EXPECT_FALSE(TextFiles::sameFile(file, QString()));
}

} // namespace
} // namespace kestrova::shell

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
