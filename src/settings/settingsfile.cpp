#include "settings/settingsfile.h"

#include "engine/cp932.h"
#include "io/textcodec.h"
#include "io/wholefile.h"
#include "settings/scramble.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrova::settings {

namespace {

using io::Done;
using io::IoError;
using io::IoErrorKind;
using io::Result;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Numeric keys of the record with the values each can hold. A value outside its range keeps
// the default: a hand-edited or damaged file then behaves like one without that key.
struct NumberKey
{
    std::u16string_view name;
    int Settings::*field;
    long long low;
    long long high;
};

constexpr NumberKey kNumberKeys[] = {
    {u"Columns", &Settings::Columns, 1, 32767},     {u"ChgMode", &Settings::ChgMode, 0, 2},
    {u"Kinsoku", &Settings::Kinsoku, 0, 1},         {u"FontSize", &Settings::FontSize, 1, 1000},
    {u"PgpFlg", &Settings::PgpFlg, 0, 1},           {u"PgpVer", &Settings::PgpVer, 0, 2},
    {u"EncryptMode", &Settings::EncryptMode, 0, 1}, {u"JisConvMode", &Settings::JisConvMode, 0, 7},
    {u"ViewMini", &Settings::ViewMini, 0, 1},       {u"EnvSize", &Settings::EnvSize, 0, INT_MAX},
    {u"ConvMode", &Settings::ConvMode, 0, 1},
};

struct TextKey
{
    std::u16string_view name;
    std::u16string Settings::*field;
};

constexpr TextKey kTextKeys[] = {
    {u"Inyofu", &Settings::Inyofu},     {u"EnterMes", &Settings::EnterMes},
    {u"FontName", &Settings::FontName}, {u"PgpPath", &Settings::PgpPath},
    {u"TimeZone", &Settings::TimeZone}, {u"UserID", &Settings::UserID},
};

// Window coordinates are 16-bit twips like every number of the file: a size of 2147483647
// would make a window of gigabytes. A size must be positive to be a size at all.
struct GeometryKey
{
    std::u16string_view name;
    int WindowGeometry::*field;
    bool WindowGeometry::*present;
    long long low;
    long long high;
};

constexpr GeometryKey kGeometryKeys[] = {
    {u"Top", &WindowGeometry::Top, &WindowGeometry::hasTop, -32768, 32767},
    {u"Left", &WindowGeometry::Left, &WindowGeometry::hasLeft, -32768, 32767},
    {u"Height", &WindowGeometry::Height, &WindowGeometry::hasHeight, 1, 32767},
    {u"Width", &WindowGeometry::Width, &WindowGeometry::hasWidth, 1, 32767},
};

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool sameKey(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

std::string narrow(std::u16string_view ascii) { return {ascii.begin(), ascii.end()}; }

// Reads a decimal number at the start of text, with an optional sign and fraction; the
// fraction rounds half away from zero. Returns the value and advances pos past it; empty when
// there are no digits. Values too long to matter come back as LLONG_MAX, out of every range.
std::optional<long long> leadingNumber(std::u16string_view text, std::size_t& pos)
{
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-'))
        negative = text[pos++] == u'-';
    long long value = 0;
    bool digits = false;
    bool huge = false;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        digits = true;
        if (value > 1'000'000'000'000LL)
            huge = true;
        else
            value = value * 10 + (text[pos] - u'0');
    }
    if (pos < text.size() && text[pos] == u'.') {
        const std::size_t point = pos++;
        const bool fraction = pos < text.size() && isDigit(text[pos]);
        if (fraction && text[pos] >= u'5')
            ++value;
        for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        }
        if (!digits && !fraction)
            pos = point;
        digits = digits || fraction;
    }
    if (!digits)
        return std::nullopt;
    if (huge)
        return LLONG_MAX;
    return negative ? -value : value;
}

// A whole value as a number: blanks may surround it, nothing else.
std::optional<long long> wholeNumber(std::u16string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const auto value = leadingNumber(text, pos);
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos != text.size())
        return std::nullopt;
    return value;
}

// The leading number of a value, 0 when it does not start with one.
long long leadingValue(std::u16string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return leadingNumber(text, pos).value_or(0);
}

bool asciiOnly(std::string_view bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::optional<std::u16string> decodeLine(std::string_view bytes, bool utf8)
{
    if (utf8) {
        if (!asciiOnly(bytes) && !io::isUtf8Text(bytes))
            return std::nullopt;
        return io::decodeUtf8(bytes);
    }
    return engine::fromCp932(bytes);
}

class SettingsReader
{
public:
    explicit SettingsReader(ParsedSettings& parsed)
        : m_parsed(parsed)
    {
    }

    void line(int number, std::u16string_view text)
    {
        if (!text.empty() && text.front() == u'[') {
            m_inSection = text == u"[Settings]";
            return;
        }
        if (!m_inSection || text.empty())
            return;
        const std::size_t equals = text.find(u'=');
        if (equals == std::u16string_view::npos ||
            !keyLine(text.substr(0, equals), text.substr(equals + 1), number))
            note(number, LineProblem::UnknownKey, {});
    }

    // A line that is no text still ends the section when it looks like a section line, so
    // that keys of a damaged foreign section are not taken for ours.
    void badLine(int number, std::string_view bytes)
    {
        if (!bytes.empty() && bytes.front() == '[')
            m_inSection = false;
        note(number, LineProblem::NotText, {});
    }

private:
    bool keyLine(std::u16string_view key, std::u16string_view value, int number)
    {
        Settings& settings = m_parsed.settings;
        WindowGeometry& geometry = m_parsed.geometry;
        for (const auto& k : kGeometryKeys) {
            if (!sameKey(key, k.name))
                continue;
            const auto v = wholeNumber(value);
            if (v && *v >= k.low && *v <= k.high) {
                geometry.*k.field = static_cast<int>(*v);
                geometry.*k.present = true;
            } else {
                note(number, LineProblem::BadValue, k.name);
            }
            return true;
        }
        if (sameKey(key, u"State")) {
            const long long v = leadingValue(value);
            if (v >= 0 && v <= 2) {
                geometry.State = static_cast<int>(v);
                geometry.hasState = true;
            } else {
                note(number, LineProblem::BadValue, u"State");
            }
            return true;
        }
        for (const auto& k : kNumberKeys) {
            if (!sameKey(key, k.name))
                continue;
            const auto v = wholeNumber(value);
            if (v && *v >= k.low && *v <= k.high)
                settings.*k.field = static_cast<int>(*v);
            else
                note(number, LineProblem::BadValue, k.name);
            return true;
        }
        for (const auto& k : kTextKeys) {
            if (sameKey(key, k.name)) {
                settings.*k.field = std::u16string(value);
                return true;
            }
        }
        if (sameKey(key, u"PassPhrase")) {
            settings.PassPhrase = EasyScranble(value, 0);
            return true;
        }
        if (sameKey(key, u"UserList")) {
            // Empty values take a slot too; lines beyond the eighth are dropped.
            if (m_userListTaken < kUserListSlots)
                settings.UserList[m_userListTaken++] = std::u16string(value);
            return true;
        }
        return false;
    }

    void note(int number, LineProblem problem, std::u16string_view key)
    {
        m_parsed.notes.lines.push_back({number, problem, narrow(key)});
    }

    ParsedSettings& m_parsed;
    bool m_inSection = false;
    std::size_t m_userListTaken = 0;
};

// A value must stay on its own line: a line break in it would end the value early and could
// smuggle in another key.
std::u16string oneLine(std::u16string_view value)
{
    std::u16string out;
    out.reserve(value.size());
    for (const char16_t c : value)
        if (c != u'\r' && c != u'\n')
            out += c;
    return out;
}

void appendLine(std::u16string& text, std::u16string_view key, std::u16string_view value)
{
    text += key;
    text += u'=';
    text += oneLine(value);
    text += u"\r\n";
}

void appendLine(std::u16string& text, std::u16string_view key, int value)
{
    const std::string digits = std::to_string(value);
    appendLine(text, key, std::u16string(digits.begin(), digits.end()));
}

// Makes folder and its missing parents, private to this user as the settings folder should be.
Result<Done> makeFolder(const std::string& folder)
{
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0)
        return Done{};
    if (errno != ENOENT)
        return io::systemError(IoErrorKind::NotWritable, folder, errno, "cannot use the folder: ");
    const std::string parent = io::folderOf(folder);
    if (parent != folder && parent != ".") {
        auto made = makeFolder(parent);
        if (!made)
            return made;
    }
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // A strict umask would leave a folder we cannot write the next level or the file into.
        ::chmod(folder.c_str(), S_IRWXU);
    } else if (errno != EEXIST) {
        return io::systemError(IoErrorKind::NotWritable, folder, errno, "cannot make the folder: ");
    }
    return Done{};
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return {};
}

} // namespace

ParsedSettings parseSettings(std::string_view bytes)
{
    ParsedSettings parsed;
    SettingsReader reader(parsed);
    // Our own UTF-8 files carry a byte-order mark; a file edited into UTF-8 by hand is known
    // by its multi-byte sequences, which code page 932 text practically never forms.
    const bool utf8 = io::isUtf8Text(bytes) || bytes.substr(0, 3) == kByteOrderMark;
    parsed.notes.utf8 = utf8;
    if (bytes.substr(0, 3) == kByteOrderMark)
        bytes.remove_prefix(3);

    int number = 0;
    std::size_t start = 0;
    // A line ends at LF; a CR before it belongs to the line end. What follows the last line end
    // is not read: it may be the cut-off end of a damaged file.
    for (std::size_t lf; (lf = bytes.find('\n', start)) != std::string_view::npos; start = lf + 1) {
        ++number;
        std::string_view lineBytes = bytes.substr(start, lf - start);
        if (!lineBytes.empty() && lineBytes.back() == '\r')
            lineBytes.remove_suffix(1);
        const auto text = decodeLine(lineBytes, utf8);
        if (text)
            reader.line(number, *text);
        else
            reader.badLine(number, lineBytes);
    }
    parsed.notes.unterminatedTail = start < bytes.size();
    if (parsed.notes.unterminatedTail)
        parsed.notes.lines.push_back({number + 1, LineProblem::Unterminated, {}});
    return parsed;
}

std::vector<int> damagedLines(const ReadNotes& notes)
{
    std::vector<int> lines;
    for (const LineNote& note : notes.lines)
        if (note.problem != LineProblem::UnknownKey)
            lines.push_back(note.line);
    return lines;
}

std::string formatSettings(const Settings& settings, const WindowGeometry& geometry)
{
    std::u16string text = u"[Settings]\r\n";
    appendLine(text, u"Top", geometry.Top);
    appendLine(text, u"Left", geometry.Left);
    appendLine(text, u"Height", geometry.Height);
    appendLine(text, u"Width", geometry.Width);
    appendLine(text, u"State", geometry.State);
    appendLine(text, u"Columns", settings.Columns);
    appendLine(text, u"Inyofu", settings.Inyofu);
    appendLine(text, u"ChgMode", settings.ChgMode);
    appendLine(text, u"Kinsoku", settings.Kinsoku);
    appendLine(text, u"EnterMes", settings.EnterMes);
    appendLine(text, u"FontName", settings.FontName);
    appendLine(text, u"FontSize", settings.FontSize);
    if (settings.PgpFlg > 0)
        appendLine(text, u"PgpFlg", settings.PgpFlg);
    if (settings.PgpVer > 0)
        appendLine(text, u"PgpVer", settings.PgpVer);
    if (settings.EncryptMode > 0)
        appendLine(text, u"EncryptMode", settings.EncryptMode);
    if (settings.JisConvMode != 7)
        appendLine(text, u"JisConvMode", settings.JisConvMode);
    if (settings.ViewMini > 0)
        appendLine(text, u"ViewMini", settings.ViewMini);
    if (settings.EnvSize > 0)
        appendLine(text, u"EnvSize", settings.EnvSize);
    if (!settings.PgpPath.empty())
        appendLine(text, u"PgpPath", settings.PgpPath);
    if (!settings.TimeZone.empty())
        appendLine(text, u"TimeZone", settings.TimeZone);
    if (!settings.UserID.empty())
        appendLine(text, u"UserID", settings.UserID);
    if (!settings.PassPhrase.empty())
        appendLine(text, u"PassPhrase", EasyScranble(oneLine(settings.PassPhrase), -1));
    appendLine(text, u"ConvMode", settings.ConvMode);
    for (const auto& user : settings.UserList)
        if (!user.empty())
            appendLine(text, u"UserList", user);

    // Code page 932 maps a few characters onto the forms of others (U+301C reads back as
    // U+FF5E); the file is code page 932 only when every character comes back as it was.
    if (auto bytes = engine::toCp932(text)) {
        if (engine::fromCp932(*bytes) == text)
            return std::move(*bytes);
    }
    return std::string(kByteOrderMark) + "\r\n" + io::encodeUtf8(text);
}

std::string settingsFilePath(const std::string& programDir)
{
    std::string beside = programDir;
    if (!beside.empty() && beside.back() != '/')
        beside += '/';
    beside += kIniFileName;
    struct stat st;
    if (!programDir.empty() && ::lstat(beside.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return beside;

    // XDG asks that a relative XDG_CONFIG_HOME be ignored.
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else if (const std::string home = homeFolder(); !home.empty())
        config = home + "/.config";
    else
        return beside; // no home at all: the program's folder is the only place left
    return config + "/kestrova/" + std::string(kIniFileName);
}

Result<ReadNotes> GetPara(const std::string& path, Settings& settings, WindowGeometry& geometry)
{
    settings = Settings{};
    geometry = WindowGeometry{};

    auto read = io::readWholeFile(path, kMaxFileSize - 1);
    // A missing file is the first start: defaults and a centred window, silently. So is a
    // link to a file not made yet: PutPara makes it there.
    if (read ? !*read : read.error().kind == IoErrorKind::NotFound) {
        geometry.centre = true;
        return ReadNotes{};
    }
    if (!read) {
        IoError error = read.error();
        if (error.kind == IoErrorKind::TooLarge)
            error.reason = "it holds " + std::to_string(kMaxFileSize) +
                           " bytes or more; the settings were not read";
        // A file that is there but unreadable keeps the designed position: its place could
        // be had. Whatever else is in the way gets a centred window.
        struct stat st;
        geometry.centre = error.kind != IoErrorKind::NotReadable || ::stat(path.c_str(), &st) != 0;
        return error;
    }
    const std::string& bytes = **read;

    ParsedSettings parsed = parseSettings(bytes);
    settings = std::move(parsed.settings);
    geometry = parsed.geometry;
    parsed.notes.fileFound = true;
    return std::move(parsed.notes);
}

Result<Done> PutPara(const std::string& path, const Settings& settings,
                     const WindowGeometry& geometry)
{
    const std::string bytes = formatSettings(settings, geometry);
    // The reader ignores a file of this size whole, so writing it would lose every setting.
    if (bytes.size() >= kMaxFileSize)
        return IoError{IoErrorKind::TooLarge, path,
                       "the settings would take " + std::to_string(bytes.size()) +
                           " bytes, more than a settings file may hold; the old file is kept"};

    // The folder is made where the file will be: beside the file a link names.
    auto target = io::followLinks(path);
    if (!target)
        return target.error();
    if (auto made = makeFolder(io::folderOf(*target)); !made)
        return IoError{made.error().kind, path, made.error().reason};
    // It may hold the pass phrase: private whatever the umask or the old file's mode.
    return io::replaceWholeFile(path, bytes, {io::LinkAtPath::Follow, true, {}});
}

} // namespace kestrova::settings
