#include "shell/textfiles.h"

#include "engine/cp932.h"
#include "platform/qtext.h"

#include <QFileInfo>

namespace kestrova::shell {

namespace {

using platform::toFsPath;

// The text box holds 32767 columns; a text of more is shown cut.
constexpr std::size_t kShownColumnLimit = 32768;

std::size_t codePointCount(std::u16string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count)
        static_cast<void>(engine::nextCodePoint(text, i));
    return count;
}

// The first count characters of text, never ending inside a surrogate pair.
std::u16string firstCharacters(std::u16string_view text, std::size_t count)
{
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < text.size(); ++n)
        static_cast<void>(engine::nextCodePoint(text, i));
    return std::u16string(text.substr(0, i));
}

} // namespace

bool TextFiles::sameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    const QString canonicalB = QFileInfo(b).canonicalFilePath();
    if (!canonicalA.isEmpty() && !canonicalB.isEmpty())
        return canonicalA == canonicalB;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

io::Result<ShownText> TextFiles::read(const QString& name, int convMode)
{
    auto read = io::ReadTextFile(toFsPath(name), convMode);
    if (!read)
        return read.error();
    if (read->text.empty() && !QFileInfo::exists(name))
        return io::IoError{io::IoErrorKind::NotFound, toFsPath(name), "the file does not exist"};

    ShownText shown;
    shown.status = read->status;
    shown.text = std::move(read->text);
    // Every character counts two columns here, as the text box's limit is counted.
    const std::size_t n = 2 * codePointCount(shown.text);
    m_cutFile.clear();
    if (n >= kShownColumnLimit) {
        shown.keptPercent = static_cast<int>(3276700 / n);
        shown.text = firstCharacters(shown.text, kShownCharacterLimit);
        shown.cut = true;
        m_cutFile = name;
    }
    m_readFrom = name;
    m_form.format = io::formatOf(*read);
    switch (read->family) {
    case io::CodeFamily::Jis:
        m_form.target = io::kTargetJis;
        break;
    case io::CodeFamily::Euc:
        m_form.target = io::kTargetEuc;
        break;
    case io::CodeFamily::Sjis:
        m_form.target = io::kTargetSjis;
        break;
    }
    return shown;
}

io::Result<std::string> TextFiles::write(const QString& path, std::u16string_view text)
{
    auto written = io::WriteTextFile(m_form.target, text, toFsPath(path), {}, {}, m_form.format);
    if (written && sameFile(path, m_cutFile))
        m_cutFile.clear();
    return written;
}

bool TextFiles::shownInPart(const QString& path) const { return sameFile(path, m_cutFile); }

void TextFiles::textFromElsewhere()
{
    m_readFrom.clear();
    m_form = kPlatformForm;
    m_cutFile.clear();
}

} // namespace kestrova::shell
