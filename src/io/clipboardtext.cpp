#include "io/clipboardtext.h"

#include "engine/cp932.h"
#include "io/codestream.h"
#include "io/jis2sjis.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kestrova::io {

namespace {

using engine::cp932Code;
using engine::nextCodePoint;

// A cut text keeps this ÷ its byte count per cent: the limit in hundredths.
constexpr std::size_t kPercentBase = static_cast<std::size_t>(kClipboardByteLimit) * 100;

// The state a JIS text starts in, decided as the code detection decides it by the first
// designation, return or shift it meets; empty when the text has none and so is no JIS.
std::optional<int> jisStartState(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == kSo)
            return kKanaState;
        if (c == kSi)
            return kAsciiState;
        if (c != kEsc || i + 2 >= text.size() || text[i + 1] >= 0x80 || text[i + 2] >= 0x80)
            continue;
        switch (jiscodes::jisDesignation(static_cast<std::uint8_t>(text[i + 1]),
                                         static_cast<std::uint8_t>(text[i + 2]))) {
        case -1:
            break;
        case kAsciiState:
            return kKanjiState; // a return to ASCII first: it begins inside kanji
        default:
            return kAsciiState; // a designation first: the text begins in ASCII
        }
    }
    return std::nullopt;
}

// JIS text to text. The characters with a code page 932 form are read as one JIS text, as if
// the others were not there, so that a shift or a character they interrupt goes on after them;
// the others are kept where they stand. Empty when the result would not be code page 932 text.
std::optional<std::u16string> convertJis(std::u16string_view text, int state)
{
    struct Run
    {
        std::size_t bytesEnd;     // where its bytes end in bytes
        std::u16string_view kept; // the characters after them that have no JIS form
    };
    std::string bytes;
    std::vector<Run> runs;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        const auto code = cp932Code(cp);
        // The variants cp932Code folds (U+301C and the like) are not JIS bytes: kept as well.
        if (code && (cp < 0x80 || engine::cp932Char(*code) == cp)) {
            if (*code > 0xFF)
                bytes.push_back(static_cast<char>(*code >> 8));
            bytes.push_back(static_cast<char>(*code & 0xFF));
            continue;
        }
        if (runs.empty() || runs.back().bytesEnd != bytes.size())
            runs.push_back({bytes.size(), text.substr(start, 0)});
        Run& run = runs.back();
        run.kept = std::u16string_view(run.kept.data(), run.kept.size() + (i - start));
    }
    if (runs.empty() || runs.back().bytesEnd != bytes.size())
        runs.push_back({bytes.size(), {}});

    CodeConvertStream reader({.reader = CodeConvertStream::Reader::Jis, .jisStart = state});
    std::u16string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (const Run& run : runs) {
        const bool last = run.bytesEnd == bytes.size();
        const std::string_view converted =
            reader.convert(std::string_view(bytes).substr(from, run.bytesEnd - from), last,
                           bytes.size() - run.bytesEnd);
        from = run.bytesEnd;
        const auto decoded = engine::fromCp932(converted);
        if (!decoded)
            return std::nullopt;
        out += *decoded;
        out += run.kept;
    }
    return out;
}

int byteWidth(char32_t cp)
{
    if (const auto code = cp932Code(cp))
        return *code > 0xFF ? 2 : 1;
    return engine::charWidth(cp);
}

} // namespace

ClipboardIntake takeClipboardText(std::u16string_view text, int convMode)
{
    ClipboardIntake intake;
    if (convMode != 1) {
        intake.text = normalizeLineEnds(text);
        return intake;
    }

    std::size_t bytes = 0;
    std::size_t cut = text.size();
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        bytes += static_cast<std::size_t>(byteWidth(nextCodePoint(text, i)));
        if (bytes > static_cast<std::size_t>(kClipboardByteLimit) && cut == text.size())
            cut = at; // a character across the limit goes with the rest
    }
    if (bytes > static_cast<std::size_t>(kClipboardByteLimit)) {
        intake.cut = true;
        intake.keptPercent = static_cast<int>(kPercentBase / bytes);
        text = text.substr(0, cut);
    }

    constexpr char16_t kJisMarks[] = {kEsc, kSo, kSi};
    const bool jisMarks =
        text.find_first_of(std::u16string_view(kJisMarks, std::size(kJisMarks))) !=
        std::u16string_view::npos;
    if (jisMarks) {
        if (const auto state = jisStartState(text)) {
            if (auto converted = convertJis(text, *state)) {
                if (!converted->empty() && converted->back() == kEndOfFile)
                    converted->pop_back();
                intake.text = normalizeLineEnds(*converted);
                intake.converted = true;
                return intake;
            }
        }
    }
    intake.text = normalizeLineEnds(text);
    return intake;
}

} // namespace kestrova::io
