// Re-flow of arbitrary text under arbitrary settings: never a crash, a hang or a character lost.
#include "engine/quote.h"
#include "engine/reflow.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace kestrova::engine;

// Characters the rules care about, picked by the input's bytes, so that short inputs reach
// brackets, stops, word characters, heads and surrogate pairs.
constexpr std::u16string_view kAlphabet[] = {
    u"あ", u"漢", u"。", u"、", u"っ", u"ー", u"〜", u"「", u"」", u"(", u")", u"\"", u"１", u"Ａ",
    u"a", u"7", u"-", u" ", u"　", u">", u"＞", u"|", u"\r\n", u"\r", u"\n", u"ｱ", u"ﾞ", u"😀",
    u"𠮷", u"é", u"\xD800", u"》",
    // pieces of grapheme clusters: combining marks, joiners, selectors, flags
    u"\u0301", u"\u3099", u"\u200D", u"\uFE0F", u"🇯", u"\U000E0100",
    // git's comment lines and scissors line
    u"#", u"# ------------------------ >8 ------------------------"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    ReflowSettings settings;
    settings.Columns = 1 + data[0] % 90;
    settings.Kinsoku = data[1] & 1;
    settings.ChgMode = (data[1] >> 1) % 3;
    if (data[1] & 8)
        settings.EnterMes.clear();
    if (data[1] & 16)
        settings.Inyofu = u"  >  ";
    if (data[1] & 32)
        settings.CommentChar = u"#";
    std::u16string text;
    for (std::size_t i = 2; i < size; ++i)
        text += kAlphabet[data[i] % std::size(kAlphabet)];

    ReflowState state;
    const std::u16string out = TextUpdate(text, settings, state);

    // Nothing of the text is lost or reordered: the output holds the input's non-blank
    // characters in order (heads repeat and the note is added, so it may hold more).
    std::size_t at = 0;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\r' || c == u'\n' || c == u'　' || c == u'>' || c == u'＞' ||
            c == u'|' || c == u'》')
            continue; // blanks, line ends and quote characters may be dropped from heads
        at = out.find(c, at);
        if (at == std::u16string::npos)
            std::abort();
        ++at;
    }
    // A second run over the same text gives the same result: no state leaks between runs.
    if (TextUpdate(text, settings, state) != out)
        std::abort();
    return 0;
}
