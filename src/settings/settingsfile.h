// The settings record and its file, Kestrova.ini: GetPara reads it at start-up, PutPara
// writes it at exit.
//
// The file is a "[Settings]" section of Key=value lines in code page 932 with CR LF line ends.
// Keys match without regard to letter case, values are taken verbatim. When a text setting
// holds a character that code page 932 cannot carry unchanged, the whole file is written as
// UTF-8 behind a byte-order mark on a line of its own, so every value reads back as it was.
// Paths are UTF-8 bytes as Linux has them. Qt-free.
#pragma once

#include "engine/settings.h"
#include "io/result.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::settings {

inline constexpr std::size_t kUserListSlots = 8;

// A file of this many bytes or more is not read at all: every setting keeps its default.
inline constexpr std::size_t kMaxFileSize = 32768;

inline constexpr std::string_view kIniFileName = "Kestrova.ini";

// Every setting of the program, with its default. Numeric values the file holds outside a
// key's range keep the default (see parseSettings).
struct Settings
{
    // The re-flow settings, with the engine's defaults.
    int Columns = engine::kDefaultColumns;             // re-flow width, 1 and up
    std::u16string Inyofu{engine::kDefaultInyofu};     // quote characters
    int ChgMode = engine::kDefaultChgMode;             // 0 never, 1 quoted lines, 2 always
    int Kinsoku = engine::kDefaultKinsoku;             // 0 off, 1 line-break rules
    std::u16string EnterMes{engine::kDefaultEnterMes}; // note after a re-flowed quote
    std::u16string FontName = u"ＭＳ ゴシック";
    int FontSize = 9;    // points, 1..1000
    int PgpFlg = 0;      // 0 off, 1 PGP commands shown
    int PgpVer = 0;      // 0 PGP 2.6.3i, 1 PGP 5.5.3i and later, 2 PGP 6.5.1i and later
    int EncryptMode = 0; // 1 also sign when encrypting
    int JisConvMode = 7; // three-bit mask, 0..7
    int ViewMini = 0;    // 1 PGP window to the foreground
    int EnvSize = 0;     // environment space of the batch interpreter; 0 not set
    std::u16string PgpPath;
    std::u16string TimeZone;
    std::u16string UserID;
    std::u16string PassPhrase;                           // plain here, scrambled in the file
    int ConvMode = 1;                                    // 1 automatic Japanese code conversion
    std::array<std::u16string, kUserListSlots> UserList; // newest in slot 0; empty = free

    friend bool operator==(const Settings&, const Settings&) = default;
};

// The main window's position, size (twips) and state. Reading sets a has… flag for each key
// the file gave a usable value for; the window applies those and keeps its designed value for
// the others. centre asks the window to centre itself at its designed size: no file was read.
// Writing takes the five values and ignores the flags.
struct WindowGeometry
{
    int Top = 0;
    int Left = 0;
    int Height = 0; // 1 and up
    int Width = 0;  // 1 and up
    int State = 0;  // 0 normal, 1 minimised, 2 maximised
    bool hasTop = false;
    bool hasLeft = false;
    bool hasHeight = false;
    bool hasWidth = false;
    bool hasState = false;
    bool centre = false;

    friend bool operator==(const WindowGeometry&, const WindowGeometry&) = default;
};

enum class LineProblem
{
    NotText,    // bytes that are no text of the file's code; the line is skipped
    BadValue,   // a known key whose value is no number in its range; the key keeps its value
    UnknownKey, // a line in the section that is no Key=value line of a known key
    // The last line has no line end: it may be the cut-off end of a damaged file, so it is not
    // read, and the next PutPara writes the file without it.
    Unterminated,
};

struct LineNote
{
    int line = 0; // 1-based
    LineProblem problem = LineProblem::NotText;
    std::string key; // the key as the table names it, for BadValue
};

// What reading found, for the window to tell the user if it wishes; nothing here is fatal.
struct ReadNotes
{
    bool fileFound = false;        // a file was there and was read
    bool utf8 = false;             // it was read as UTF-8
    bool unterminatedTail = false; // bytes after the last line end: they are not read
    std::vector<LineNote> lines;   // in file order
};

// The lines of notes the user must be told about because a setting they held is lost: those
// that are no text, hold a bad value or were left unread without a line end. Unknown keys are
// not among them: they are another version's keys or comments.
[[nodiscard]] std::vector<int> damagedLines(const ReadNotes& notes);

struct ParsedSettings
{
    Settings settings;
    WindowGeometry geometry;
    ReadNotes notes;
};

// Reads the bytes of a settings file. Lines end in CR LF or LF; keys outside "[Settings]" (an
// exact, case-sensitive line) are ignored; a key given twice takes the later usable value; the
// first eight UserList lines fill the slots in order. notes.fileFound is left false.
[[nodiscard]] ParsedSettings parseSettings(std::string_view bytes);

// The bytes of the file PutPara writes: fixed key order, keys at their default omitted where
// the format allows, PassPhrase scrambled, CR and LF characters of values dropped.
[[nodiscard]] std::string formatSettings(const Settings& settings, const WindowGeometry& geometry);

// Where the settings file lives: Kestrova.ini in programDir when there is one (portable use),
// else $XDG_CONFIG_HOME/kestrova/Kestrova.ini, else ~/.config/kestrova/Kestrova.ini.
[[nodiscard]] std::string settingsFilePath(const std::string& programDir);

// Fills settings and geometry from the file at path, defaults for everything it does not give,
// in every case, errors included. A missing file is no error (geometry.centre is set). An error
// names a file that is there but was not read: unreadable, not a file, or too large.
[[nodiscard]] io::Result<ReadNotes> GetPara(const std::string& path, Settings& settings,
                                            WindowGeometry& geometry);

// Replaces the file at path (following a symbolic link to the file it names) with the settings
// and geometry, mode 0600, making its folder if needed. On any failure the old file is kept
// whole and the error names the file and the reason.
[[nodiscard]] io::Result<io::Done> PutPara(const std::string& path, const Settings& settings,
                                           const WindowGeometry& geometry);

} // namespace kestrova::settings
