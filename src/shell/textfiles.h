// The window's files: reading a text for the text box (with the display limit), and writing
// it back in the code and line ends it was read with.
#pragma once

#include "io/files.h"
#include "io/result.h"

#include <QString>

#include <string>

namespace kestrova::shell {

// The most characters the text box shows of a file whose text is 32768 columns or more.
inline constexpr std::size_t kShownCharacterLimit = 16383;

struct ShownText
{
    std::u16string text; // CR LF line ends; cut to kShownCharacterLimit characters when too long
    std::string status;  // what was recognised: "JIS", "EUC:LF", ":CR", "UTF-8:LF" or empty
    int keptPercent = 0; // when cut: 3276700 ÷ the text's width in columns, perhaps 0
    bool cut = false;
};

// How a text is written: the code and the line ends.
struct SavedForm
{
    int target = io::kTargetSjis; // kTargetSjis, kTargetJis or kTargetEuc, unless format.utf8
    io::TextFormat format;
};

// A text that did not come from a file is written in this platform's text code, UTF-8, with
// LF line ends, as the programs here expect.
inline constexpr SavedForm kPlatformForm{io::kTargetSjis, {true, true}};

// Remembers where the text came from and which file is shown only in part, so that a save
// keeps the file's code and line ends and does not silently drop what was not shown.
class TextFiles
{
public:
    // Reads name as the text box shows it. A file that vanished since it was chosen is an
    // error here: emptying the text box would lose its text for nothing.
    [[nodiscard]] io::Result<ShownText> read(const QString& name, int convMode);

    // The text now comes from elsewhere (the clipboard): it is saved in the platform's form.
    void textFromElsewhere();

    // Writes text (CR LF line ends) to path in savedForm(); a character that form cannot hold
    // fails the write and leaves the file as it was.
    [[nodiscard]] io::Result<std::string> write(const QString& path, std::u16string_view text);

    // The form a save writes in: the code and line ends of the file the text was read from,
    // whatever name it is saved under, else kPlatformForm.
    [[nodiscard]] SavedForm savedForm() const { return m_form; }

    // path is the file the text was read from.
    [[nodiscard]] bool isOwnFile(const QString& path) const { return sameFile(path, m_readFrom); }
    // path is the file shown only in part: writing it would drop the rest.
    [[nodiscard]] bool shownInPart(const QString& path) const;

    // Both name the same file, through links too.
    [[nodiscard]] static bool sameFile(const QString& a, const QString& b);

private:
    QString m_readFrom;
    SavedForm m_form = kPlatformForm;
    QString m_cutFile;
};

} // namespace kestrova::shell
