#include "io/clipboardtext.h"

#include "engine/cp932.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"

#include <iterator>
#include <optional>

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
        if (c != kEsc || i + 2 >= text.size())
            continue;
        const char16_t b1 = text[i + 1];
        const char16_t b2 = text[i + 2];
        if (b1 == u'$' && (b2 == u'B' || b2 == u'@'))
            return kAsciiState; // a designation first: the text begins in ASCII
        if (b1 == u'(' && b2 == u'I')
            return kAsciiState;
        if (b1 == u'(' && (b2 == u'B' || b2 == u'J'))
            return kKanjiState; // a return to ASCII first: it begins inside kanji
    }
    return std::nullopt;
}

// The state JIS bytes leave the decoder in, given the state they start in.
int jisEndState(const ByteBuffer& bytes, int state)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        if (b == kSo) {
            state = kKanaState;
        } else if (b == kSi) {
            state = kAsciiState;
        } else if (b == kEsc && i + 2 < bytes.size()) {
            if (bytes[i + 1] == '$')
                state = kKanjiState;
            else if (bytes[i + 1] == '(')
                state = bytes[i + 2] == 'I' ? kKanaState : kAsciiState;
        }
    }
    return state;
}

// JIS text to text, run by run: the characters with a code page 932 form go through the JIS
// decoder in the state the run before left it in, the others are kept as they are. Empty when
// the result would not be code page 932 text.
std::optional<std::u16string> convertJis(std::u16string_view text, int state)
{
    std::u16string out;
    out.reserve(text.size());
    ByteBuffer run;
    const auto flush = [&]() -> bool {
        if (run.empty())
            return true;
        const int next = jisEndState(run, state);
        JisToSjis(run, state);
        state = next;
        const std::string_view bytes(reinterpret_cast<const char*>(run.data()), run.size());
        auto decoded = engine::fromCp932(bytes);
        run.clear();
        if (!decoded)
            return false;
        out += *decoded;
        return true;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        const char32_t cp = nextCodePoint(text, i);
        const auto code = cp932Code(cp);
        // The variants cp932Code folds (U+301C and the like) are not JIS bytes: kept as well.
        if (code && cp < 0x80) {
            run.push_back(static_cast<std::uint8_t>(*code));
            continue;
        }
        if (code && engine::cp932Char(*code) == cp) {
            if (*code > 0xFF)
                run.push_back(static_cast<std::uint8_t>(*code >> 8));
            run.push_back(static_cast<std::uint8_t>(*code & 0xFF));
            continue;
        }
        if (!flush())
            return std::nullopt;
        out.append(text.substr(start, i - start));
    }
    if (!flush())
        return std::nullopt;
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
