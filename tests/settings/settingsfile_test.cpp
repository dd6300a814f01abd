#include "settings/settingsfile.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrova::settings {
namespace {

namespace fs = std::filesystem;

// Code page 932 bytes of the default texts, as the system's converter gives them.
constexpr std::string_view kInyofuBytes = "\x81\xE2\x81\x84>\x81\x74\x81\x72\x81\x62|";
constexpr std::string_view kEnterMesBytes = "\x81\x69\x89\xFC\x8D\x73\x88\xCA\x92\x75\x82\xF0"
                                            "\x95\xCF\x8D\x58\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
                                            "\x81\x6A";
constexpr std::string_view kFontNameBytes = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";

std::string defaultsFile(std::string_view geometryLines)
{
    std::string file = "[Settings]\r\n";
    file += geometryLines;
    file += "Columns=70\r\nInyofu=";
    file += kInyofuBytes;
    file += "\r\nChgMode=2\r\nKinsoku=0\r\nEnterMes=";
    file += kEnterMesBytes;
    file += "\r\nFontName=";
    file += kFontNameBytes;
    file += "\r\nFontSize=9\r\nConvMode=1\r\n";
    return file;
}

WindowGeometry someGeometry()
{
    WindowGeometry geometry;
    geometry.Top = 1200;
    geometry.Left = -45;
    geometry.Height = 6000;
    geometry.Width = 9000;
    geometry.State = 2;
    return geometry;
}

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "settings_test.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, ignored);
        fs::remove_all(m_path, ignored);
    }
    std::string operator/(std::string_view name) const { return (m_path / name).string(); }
    std::vector<std::string> names(std::string_view sub = {}) const
    {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(m_path / sub))
            out.push_back(entry.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path m_path;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

TEST(PutParaFormat, DefaultsGiveFourteenCp932LinesInOrder)
{
    EXPECT_EQ(formatSettings(Settings{}, someGeometry()),
              defaultsFile("Top=1200\r\nLeft=-45\r\nHeight=6000\r\nWidth=9000\r\nState=2\r\n"));
}

TEST(PutParaFormat, WritesOptionalKeysInOrderOnlyAwayFromTheirDefaults)
{
    Settings s;
    s.Columns = 72;
    s.Inyofu = u">";
    s.ChgMode = 0;
    s.Kinsoku = 1;
    s.EnterMes = u"";
    s.FontName = u"IPAGothic";
    s.FontSize = 12;
    s.PgpFlg = 1;
    s.PgpVer = 2;
    s.EncryptMode = 1;
    s.JisConvMode = 0;
    s.ViewMini = 1;
    s.EnvSize = 4096;
    s.PgpPath = u"/home/u/.gnupg";
    s.TimeZone = u"JST-9";
    s.UserID = u"Taro <taro@example.jp>";
    s.PassPhrase = u"open sesame";
    s.ConvMode = 0;
    s.UserList = {u"a@example.jp", u"", u"b@example.jp", u"", u"", u"c@example.jp", u"", u""};
    EXPECT_EQ(formatSettings(s, WindowGeometry{}),
              "[Settings]\r\nTop=0\r\nLeft=0\r\nHeight=0\r\nWidth=0\r\nState=0\r\nColumns=72\r\n"
              "Inyofu=>\r\nChgMode=0\r\nKinsoku=1\r\nEnterMes=\r\nFontName=IPAGothic\r\n"
              "FontSize=12\r\nPgpFlg=1\r\nPgpVer=2\r\nEncryptMode=1\r\nJisConvMode=0\r\n"
              "ViewMini=1\r\nEnvSize=4096\r\nPgpPath=/home/u/.gnupg\r\nTimeZone=JST-9\r\n"
              "UserID=Taro <taro@example.jp>\r\nPassPhrase=oi@[]{E7V}c"
              "\r\nConvMode=0\r\nUserList=a@example.jp\r\nUserList=b@example.jp\r\n"
              "UserList=c@example.jp\r\n");

    // Flags hold only values above 0 in the file.
    s = Settings{};
    s.PgpFlg = -1;
    s.EnvSize = -1;
    EXPECT_EQ(formatSettings(s, someGeometry()), formatSettings(Settings{}, someGeometry()));
}

TEST(PutParaFormat, ALineBreakInAValueCannotStartAnotherLine)
{
    Settings s;
    s.UserID = u"x\r\nColumns=5\n[Other]";
    const ParsedSettings back = parseSettings(formatSettings(s, {}));
    EXPECT_EQ(back.settings.UserID, u"xColumns=5[Other]");
    EXPECT_EQ(back.settings.Columns, 70);
}

TEST(PutParaFormat, TextsWithoutAnExactCp932FormSwitchTheFileToUtf8)
{
    Settings s;
    s.EnterMes = u"（改行しました）😀";
    s.PassPhrase = u"pass😀word";
    Settings waveDash;
    waveDash.UserList[0] = u"波\u301Cダッシュ"; // code page 932 would give it back as U+FF5E
    for (const Settings& record : {s, waveDash}) {
        const std::string file = formatSettings(record, someGeometry());
        EXPECT_EQ(file.substr(0, 20), "\xEF\xBB\xBF\r\n[Settings]\r\nTop");
        EXPECT_NE(file.find("\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF"),
                  std::string::npos); // シック of the font name, in UTF-8
        const ParsedSettings back = parseSettings(file);
        EXPECT_TRUE(back.notes.utf8);
        EXPECT_TRUE(back.notes.lines.empty());
        EXPECT_EQ(back.settings, record);
    }
}

struct ReadCase
{
    const char* name;
    std::string file;
    std::function<void(const ParsedSettings&, Settings&)> expect; // edits the defaults
};

TEST(GetParaParse, ReadsWhatThePartsOfTheFileSay)
{
    const ReadCase cases[] = {
        {"only Columns", "[Settings]\r\nColumns=80\r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.Columns = 80;
             EXPECT_FALSE(p.geometry.hasTop || p.geometry.hasLeft || p.geometry.hasHeight ||
                          p.geometry.hasWidth || p.geometry.hasState || p.geometry.centre);
         }},
        {"key case ignored, blank before equals not",
         "[Settings]\r\ncOLUMNS=80\r\nfontsize = 12\r\nfontname=  Mono \r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.Columns = 80;
             s.FontName = u"  Mono ";
             ASSERT_EQ(p.notes.lines.size(), 1u);
             EXPECT_EQ(p.notes.lines[0].line, 3);
             EXPECT_EQ(p.notes.lines[0].problem, LineProblem::UnknownKey);
         }},
        {"section name is case-sensitive and exact",
         "[settings]\r\nColumns=80\r\n[Settings] \r\nKinsoku=1\r\n", [](auto&, Settings&) {}},
        {"keys outside the section",
         "Columns=80\r\n[Settings]\r\nKinsoku=1\r\n[Other]\r\nChgMode=0\r\n",
         [](auto&, Settings& s) { s.Kinsoku = 1; }},
        {"blank lines and comments", "\r\n; note\r\n[Settings]\r\n\r\n# x\r\nPgpVer=2\r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.PgpVer = 2;
             EXPECT_EQ(p.notes.lines.size(), 1u); // "# x" inside the section
         }},
        {"last line without a line end", "[Settings]\r\nKinsoku=1\r\nFontSize=12",
         [](const ParsedSettings& p, Settings& s) {
             s.Kinsoku = 1;
             EXPECT_TRUE(p.notes.unterminatedTail);
             ASSERT_EQ(p.notes.lines.size(), 1u);
             EXPECT_EQ(p.notes.lines[0].line, 3);
             EXPECT_EQ(p.notes.lines[0].problem, LineProblem::Unterminated);
         }},
        {"LF line ends and a lone CR inside a value", "[Settings]\nColumns=60\nUserID=a\rb\n",
         [](auto&, Settings& s) {
             s.Columns = 60;
             s.UserID = u"a\rb";
         }},
        {"ten UserList lines, empty ones take slots",
         "[Settings]\r\nUserList=0\r\nUserList=\r\nUserList=2\r\nUserList=3\r\nUserList=4\r\n"
         "USERLIST=5\r\nUserList=6\r\nUserList=7\r\nUserList=8\r\nUserList=9\r\n",
         [](auto&, Settings& s) { s.UserList = {u"0", u"", u"2", u"3", u"4", u"5", u"6", u"7"}; }},
        {"later value wins unless unusable",
         "[Settings]\r\nColumns=50\r\nColumns=60\r\nColumns=zero\r\nChgMode=1\r\nChgMode=3\r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.Columns = 60;
             s.ChgMode = 1;
             ASSERT_EQ(p.notes.lines.size(), 2u);
             EXPECT_EQ(p.notes.lines[0].key, "Columns");
             EXPECT_EQ(p.notes.lines[1].key, "ChgMode");
             EXPECT_EQ(p.notes.lines[1].problem, LineProblem::BadValue);
         }},
        {"numbers: blanks, rounding, range",
         "[Settings]\r\nColumns= 80 \r\nFontSize=10.5\r\nEnvSize=99.4\r\nJisConvMode=\r\n"
         "Kinsoku=-1\r\nPgpVer=40000\r\nViewMini=1x\r\nConvMode=0\r\nChgMode=-0.4\r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.Columns = 80;
             s.FontSize = 11;
             s.EnvSize = 99;
             s.ConvMode = 0;
             s.ChgMode = 0;
             EXPECT_EQ(p.notes.lines.size(), 4u);
         }},
        {"geometry keys",
         "[Settings]\r\nTop=-300\r\nLeft=x\r\nHeight=0\r\nWidth=4000.5\r\nState=2abc\r\n",
         [](const ParsedSettings& p, Settings&) {
             EXPECT_TRUE(p.geometry.hasTop && p.geometry.hasWidth && p.geometry.hasState);
             EXPECT_FALSE(p.geometry.hasLeft || p.geometry.hasHeight);
             EXPECT_EQ(p.geometry.Top, -300);
             EXPECT_EQ(p.geometry.Width, 4001);
             EXPECT_EQ(p.geometry.State, 2);
         }},
        {"geometry outside 16 bits keeps its default",
         "[Settings]\r\nTop=-32768\r\nLeft=32768\r\nHeight=2147483647\r\nWidth=32767\r\n",
         [](const ParsedSettings& p, Settings&) {
             EXPECT_TRUE(p.geometry.hasTop && p.geometry.hasWidth);
             EXPECT_FALSE(p.geometry.hasLeft || p.geometry.hasHeight);
             EXPECT_EQ(p.geometry.Top, -32768);
             EXPECT_EQ(p.geometry.Width, 32767);
             EXPECT_EQ(p.notes.lines.size(), 2u);
         }},
        {"State without a number is normal, out of range is absent",
         "[Settings]\r\nState=9\r\nState=max\r\n",
         [](const ParsedSettings& p, Settings&) {
             EXPECT_TRUE(p.geometry.hasState);
             EXPECT_EQ(p.geometry.State, 0);
         }},
        {"bytes that are no code page 932",
         "[Settings]\r\nEnterMes=\x80\xFF\r\nColumns=66\r\n[\xFD]\r\nKinsoku=1\r\n",
         [](const ParsedSettings& p, Settings& s) {
             s.Columns = 66;
             ASSERT_EQ(p.notes.lines.size(), 2u);
             EXPECT_EQ(p.notes.lines[0].line, 2);
             EXPECT_EQ(p.notes.lines[1].problem, LineProblem::NotText);
         }},
        {"a file saved as UTF-8 by an editor", "[Settings]\nEnterMes=\xE6\x94\xB9\xE8\xA1\x8C\n",
         [](const ParsedSettings& p, Settings& s) {
             s.EnterMes = u"改行";
             EXPECT_TRUE(p.notes.utf8);
         }},
        {"the pass phrase is unscrambled", "[Settings]\r\nPassPhrase=oi@[]{E7V}c\r\n",
         [](auto&, Settings& s) { s.PassPhrase = u"open sesame"; }},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ParsedSettings parsed = parseSettings(c.file);
        Settings expected;
        c.expect(parsed, expected);
        EXPECT_EQ(parsed.settings, expected);
    }
}

TEST(GetParaParse, DamagedLinesAreThoseWhoseSettingIsLost)
{
    const struct
    {
        const char* name;
        std::string file;
        std::vector<int> damaged;
    } rows[] = {
        {"a whole file", "[Settings]\r\nColumns=80\r\n", {}},
        {"unknown keys and comments are no damage", "[Settings]\r\nNewKey=1\r\n# note\r\n", {}},
        {"no text, a bad value and an unread last line in file order",
         "[Settings]\r\nColumns=x\r\nOld=1\r\nEnterMes=\x80\xFF\r\nFontSize=12",
         {2, 4, 5}},
        {"only the unread last line", "[Settings]\r\nColumns=80\r\nFontSize=1", {3}},
        {"a final end-of-file mark after the last line end", "[Settings]\nColumns=80\n\x1A", {3}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(damagedLines(parseSettings(row.file).notes), row.damaged);
    }
}

TEST(GetParaParse, GarbageNeverLeavesAValueOutsideItsRange)
{
    // Fragments of real lines mixed with random bytes reach the number parser and the section
    // logic far more often than random bytes alone.
    const std::string_view pieces[] = {"[Settings]",
                                       "\r\n",
                                       "\n",
                                       "Columns=",
                                       "chgmode=",
                                       "FontSize=",
                                       "State=",
                                       "Height=",
                                       "UserList=",
                                       "-",
                                       ".",
                                       "5",
                                       "99999999999999999999",
                                       " ",
                                       "\x81",
                                       "\xFF"};
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string file;
        while (file.size() < 2000) {
            if (random() % 3 == 0)
                file += static_cast<char>(random());
            else
                file += pieces[random() % std::size(pieces)];
        }
        const ParsedSettings p = parseSettings(file);
        EXPECT_TRUE(p.settings.Columns >= 1 && p.settings.Columns <= 32767) << file;
        EXPECT_TRUE(p.settings.ChgMode >= 0 && p.settings.ChgMode <= 2) << file;
        EXPECT_TRUE(p.settings.FontSize >= 1 && p.settings.FontSize <= 1000) << file;
        EXPECT_TRUE(!p.geometry.hasState || (p.geometry.State >= 0 && p.geometry.State <= 2));
        EXPECT_TRUE(!p.geometry.hasHeight || p.geometry.Height >= 1);
    }
}

TEST(GetPara, MissingFileGivesDefaultsAndACentredWindow)
{
    TempFolder dir;
    Settings s;
    s.Columns = 5;
    WindowGeometry g;
    g.hasTop = true;
    const auto read = GetPara(dir / "none/Kestrova.ini", s, g);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->fileFound);
    EXPECT_EQ(s, Settings{});
    EXPECT_TRUE(g.centre);
    EXPECT_FALSE(g.hasTop);
}

TEST(GetPara, FileOfTheSizeLimitIsNotRead)
{
    TempFolder dir;
    const std::string path = dir / "Kestrova.ini";
    std::string file = "[Settings]\r\nColumns=80\r\n";
    file += std::string(kMaxFileSize - 1 - file.size() - 2, 'x') + "\r\n";
    writeFile(path, file);
    Settings s;
    WindowGeometry g;
    auto read = GetPara(path, s, g);
    ASSERT_TRUE(read);
    EXPECT_EQ(s.Columns, 80);

    writeFile(path, file + "\n"); // one byte more: 32768
    read = GetPara(path, s, g);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, io::IoErrorKind::TooLarge);
    EXPECT_EQ(s, Settings{});
    EXPECT_TRUE(g.centre);
}

TEST(GetPara, FolderOrFifoInPlaceOfTheFileIsReportedNotWaitedFor)
{
    TempFolder dir;
    Settings s;
    WindowGeometry g;
    fs::create_directory(dir / "folder");
    auto read = GetPara(dir / "folder", s, g);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, io::IoErrorKind::NotAFile);
    EXPECT_EQ(read.error().path, dir / "folder");

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    read = GetPara(dir / "fifo", s, g);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, io::IoErrorKind::NotAFile);
}

TEST(GetPara, UnreadableFileIsReportedWithDefaults)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads a file of mode 0000";
    TempFolder dir;
    const std::string path = dir / "Kestrova.ini";
    writeFile(path, "[Settings]\r\nColumns=80\r\n");
    ::chmod(path.c_str(), 0);
    Settings s;
    WindowGeometry g;
    const auto read = GetPara(path, s, g);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().kind, io::IoErrorKind::NotReadable);
    EXPECT_EQ(s, Settings{});
    EXPECT_FALSE(g.centre); // its length could be had: the designed position
}

TEST(GetPara, AnUnreadLastLineIsReportedUntilTheFileIsWrittenAgain)
{
    TempFolder dir;
    const std::string path = dir / "Kestrova.ini";
    writeFile(path, "[Settings]\r\nColumns=80\r\nFontSize=12");
    Settings s;
    WindowGeometry g;
    auto read = GetPara(path, s, g);
    ASSERT_TRUE(read);
    EXPECT_EQ(damagedLines(*read), std::vector<int>{3});
    EXPECT_EQ(s.Columns, 80);
    EXPECT_EQ(s.FontSize, 9); // not read: it may be cut short

    ASSERT_TRUE(PutPara(path, s, someGeometry()));
    read = GetPara(path, s, g);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->lines.empty());
}

TEST(PutPara, WritesAPrivateFileThatReadsBackWhole)
{
    TempFolder dir;
    const std::string path = dir / "new/kestrova/Kestrova.ini"; // folders made on first write
    Settings s;
    s.Columns = 32767;
    s.Inyofu = u"＞| ";
    s.EnterMes = u"  (reflowed)  ";
    s.FontName = u"ＭＳ 明朝";
    s.FontSize = 1000;
    s.PgpVer = 1;
    s.JisConvMode = 5;
    s.EnvSize = 2147483647;
    s.PassPhrase = u" ~!@#$%^&*()_+`-=[]\\{}|;':\",./<>? パス correct horse";
    s.UserList = {u"", u"", u"", u"ユーザー", u"", u"", u"", u"x"};
    WindowGeometry g = someGeometry();
    g.Top = -7000; // above the primary screen
    g.Width = 30000;
    const mode_t oldMask = ::umask(0277); // private whatever the umask, and still written
    const auto written = PutPara(path, s, g);
    ::umask(oldMask);
    ASSERT_TRUE(written) << written.error().reason;
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(fs::status(dir / "new/kestrova").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_EQ(readFile(path).find("correct horse"), std::string::npos);

    Settings back;
    WindowGeometry backGeometry;
    const auto read = GetPara(path, back, backGeometry);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->fileFound);
    EXPECT_FALSE(read->utf8);
    EXPECT_TRUE(read->lines.empty());
    s.UserList = {u"ユーザー", u"x"}; // slots fill from 0 in file order
    EXPECT_EQ(back, s);
    g.hasTop = g.hasLeft = g.hasHeight = g.hasWidth = g.hasState = true;
    EXPECT_EQ(backGeometry, g);
}

TEST(PutPara, ReplacesTheFileBehindALinkAndMakesItPrivate)
{
    TempFolder dir;
    fs::create_directory(dir / "real");
    const std::string real = dir / "real/settings.ini";
    writeFile(real, "old");
    ::chmod(real.c_str(), 0644);
    fs::create_symlink("real/settings.ini", dir / "Kestrova.ini");
    ASSERT_TRUE(PutPara(dir / "Kestrova.ini", Settings{}, someGeometry()));
    EXPECT_TRUE(fs::is_symlink(dir / "Kestrova.ini"));
    EXPECT_EQ(readFile(real), formatSettings(Settings{}, someGeometry()));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(dir.names("real"), std::vector<std::string>{"settings.ini"});
}

TEST(PutPara, FailedWriteKeepsTheOldFileWhole)
{
    TempFolder dir;
    const std::string path = dir / "Kestrova.ini";
    writeFile(path, "[Settings]\r\nColumns=80\r\n");
    Settings huge;
    huge.EnterMes = std::u16string(kMaxFileSize, u'x');
    auto written = PutPara(path, huge, {});
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, io::IoErrorKind::TooLarge);

    // A full disk, as the file-size limit makes it for root too.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = 64;
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    written = PutPara(path, Settings{}, someGeometry());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().path, path);

    writeFile(dir / "file", "");
    written = PutPara(dir / "file/Kestrova.ini", Settings{}, {}); // a file in place of the folder
    ASSERT_FALSE(written);

    EXPECT_EQ(readFile(path), "[Settings]\r\nColumns=80\r\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"Kestrova.ini", "file"}));
}

TEST(PutPara, ReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder";
    TempFolder dir;
    fs::create_directory(dir / "ro");
    const std::string path = dir / "ro/Kestrova.ini";
    writeFile(path, "old");
    ::chmod((dir / "ro").c_str(), 0500);
    const auto written = PutPara(path, Settings{}, {});
    ::chmod((dir / "ro").c_str(), 0700);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().kind, io::IoErrorKind::NotWritable);
    EXPECT_EQ(readFile(path), "old");
}

TEST(SettingsFilePath, PrefersAFileBesideTheProgramThenXdgThenHome)
{
    TempFolder dir;
    fs::create_directory(dir / "bin");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";

    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(settingsFilePath(dir / "bin"), "/x/config/kestrova/Kestrova.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(settingsFilePath(dir / "bin"), "/h/.config/kestrova/Kestrova.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsFilePath(dir / "bin"), "/h/.config/kestrova/Kestrova.ini");
    writeFile(dir / "bin/Kestrova.ini", "");
    EXPECT_EQ(settingsFilePath(dir / "bin/"), dir / "bin/Kestrova.ini");

    oldXdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

} // namespace
} // namespace kestrova::settings
