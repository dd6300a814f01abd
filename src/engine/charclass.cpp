#include "engine/charclass.h"

#include "engine/charlists.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>

namespace kestrova::engine {

namespace {

bool hasCp932Form(char16_t first, const std::uint8_t* table)
{
    return (first < 0xD800 || first > 0xDFFF) && (table[first] & InfoBits::kHasForm);
}

using BreakIterator = std::unique_ptr<UBreakIterator, decltype(&ubrk_close)>;

// ICU's character break rules, loaded once; each use works on a clone of its own.
const UBreakIterator* characterBreakRules()
{
    static const BreakIterator rules = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* it = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        return BreakIterator(U_SUCCESS(status) ? it : nullptr, ubrk_close);
    }();
    return rules.get();
}

// True when the character can join the one before it under some rule of extended grapheme
// clusters; a text without any such character is all single characters.
bool mayJoin(char32_t cp)
{
    switch (u_getIntPropertyValue(static_cast<UChar32>(cp), UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_CONTROL:
    case U_GCB_CR:
    case U_GCB_LF:
    case U_GCB_OTHER:
        return false;
    default:
        return true; // Extend, ZWJ, SpacingMark, Prepend, regional indicators, Hangul jamo
    }
}

// Calls onJoin with the code unit of every character that continues an extended grapheme
// cluster, by ICU's character break rules, wherever one of two neighbours has no code page 932
// form; in the order of the text.
template <class OnJoin>
void forEachJoin(std::u16string_view text, const std::uint8_t* table, OnJoin onJoin)
{
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        return;
    bool joining = false;
    for (std::size_t i = 0; i < text.size() && !joining;)
        joining = mayJoin(nextCodePoint(text, i));
    if (!joining)
        return;
    const UBreakIterator* rules = characterBreakRules();
    if (!rules)
        return; // without the break rules every character stands alone
    UErrorCode status = U_ZERO_ERROR;
    const BreakIterator breaks(ubrk_clone(rules, &status), ubrk_close);
    if (breaks)
        ubrk_setText(breaks.get(), reinterpret_cast<const UChar*>(text.data()),
                     static_cast<std::int32_t>(text.size()), &status);
    if (U_FAILURE(status) || !breaks)
        return;
    std::int32_t boundary = ubrk_first(breaks.get());
    bool formBefore = true;
    for (std::size_t i = 0; i < text.size();) {
        const auto unit = static_cast<std::int32_t>(i);
        const bool form = hasCp932Form(text[i], table);
        static_cast<void>(nextCodePoint(text, i));
        while (boundary != UBRK_DONE && boundary < unit)
            boundary = ubrk_next(breaks.get());
        if (boundary != unit && !(formBefore && form))
            onJoin(static_cast<std::size_t>(unit));
        formBefore = form;
    }
}

// Appends the measured characters of run, which begins at code unit base of its text, to out,
// without their clusters; true when one of them has no code page 932 form.
bool measureRun(std::u16string_view run, std::size_t base, std::vector<MeasuredChar>& out)
{
    const std::uint8_t* table = bmpInfoTable();
    const std::size_t first = out.size();
    out.resize(first + run.size());
    MeasuredChar* o = out.data() + first;
    bool formless = false;
    for (std::size_t i = 0; i < run.size();) {
        const auto unit = static_cast<std::uint32_t>(base + i);
        const char16_t u = run[i];
        if (u < 0xD800 || u > 0xDFFF) {
            const std::uint8_t bits = table[u];
            formless |= !(bits & InfoBits::kHasForm);
            *o++ = MeasuredChar{
                unit, u, static_cast<std::uint8_t>(1 + (bits & InfoBits::kTwoColumns)),
                static_cast<std::uint8_t>((bits >> InfoBits::kClassShift) & InfoBits::kClassMask),
                (bits & InfoBits::kOpening) != 0};
            ++i;
        } else {
            const char32_t cp = nextCodePoint(run, i);
            const CharInfo info = charInfo(cp);
            *o++ = MeasuredChar{unit, u, info.width, info.wordClass, info.opening};
            formless = true;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return formless;
}

// Makes c continue the cluster of before, the character in front of it.
void join(MeasuredChar& c, const MeasuredChar& before)
{
    c.joins = true;
    c.wordClass = before.wordClass;
    c.opening = false;
}

} // namespace

void measureText(std::u16string_view text, std::vector<MeasuredChar>& out)
{
    const std::size_t first = out.size();
    // A character without a code page 932 form is needed for a cluster to form.
    if (!measureRun(text, 0, out) || out.size() - first < 2)
        return;
    MeasuredChar* c = out.data() + first;
    forEachJoin(text, bmpInfoTable(), [&c](std::size_t unit) {
        while (c->unit != unit)
            ++c;
        join(*c, c[-1]);
    });
}

ClusterJoins::ClusterJoins(std::u16string_view text)
{
    forEachJoin(text, bmpInfoTable(), [&](std::size_t unit) {
        if (m_bits.empty())
            m_bits.resize(text.size());
        m_bits[unit] = true;
    });
}

Stretch measureStretch(std::u16string_view text, std::size_t from, std::size_t width,
                       const ClusterJoins& joins, std::vector<MeasuredChar>& out)
{
    Stretch stretch{from, 0};
    while (stretch.end < text.size() && (stretch.width <= width || joins.at(stretch.end))) {
        // No character is narrower than a column or longer than two units, so a run of the
        // units still wanting, one at least, never overshoots by much; it never ends between
        // the two halves of a pair.
        std::size_t end = stretch.end + std::max<std::size_t>(
                                            stretch.width <= width ? width - stretch.width : 0, 1);
        end = std::min(end, text.size());
        if (end < text.size() && text[end] >= 0xDC00 && text[end] <= 0xDFFF &&
            text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
            ++end;
        const std::size_t before = out.size();
        measureRun(text.substr(stretch.end, end - stretch.end), stretch.end, out);
        for (std::size_t k = before; k < out.size(); ++k) {
            if (k > 0 && joins.at(out[k].unit))
                join(out[k], out[k - 1]);
            stretch.width += out[k].width;
        }
        stretch.end = end;
    }
    return stretch;
}

void measureBytes(std::string_view bytes, std::vector<MeasuredChar>& out)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        std::uint16_t code = b;
        std::uint8_t width = 1;
        if (isLeadByte(b) && i + 1 < bytes.size()) {
            code = static_cast<std::uint16_t>(b << 8 | static_cast<std::uint8_t>(bytes[i + 1]));
            width = 2;
        }
        i += width;
        MeasuredChar c{static_cast<std::uint32_t>(i - width), 0xFFFD, width, kClassOther, false};
        if (const auto cp = cp932Char(code)) {
            const CharInfo info = charInfo(*cp);
            c = MeasuredChar{c.unit, static_cast<char16_t>(*cp), width, info.wordClass,
                             info.opening};
        }
        out.push_back(c);
    }
}

int ByteGet(std::u16string_view text, int n)
{
    int width = 0;
    for (std::size_t i = 0; i < text.size() && n > 0; --n)
        width += charWidth(nextCodePoint(text, i));
    return width;
}

int ByteGet(MeasuredText text, std::size_t n)
{
    int width = 0;
    for (std::size_t i = 0; i < n && i < text.size(); ++i)
        width += text[i].width;
    return width;
}

bool KanjiCheck(std::string_view bytes, int n)
{
    bool inLead = false;
    for (int i = 0; i < n && i < static_cast<int>(bytes.size()); ++i)
        inLead = inLead ? false : isLeadByte(static_cast<std::uint8_t>(bytes[i]));
    return inLead;
}

namespace {

// The single code point of c, or nothing when c holds none or more than one.
bool singleCodePoint(std::u16string_view c, char32_t& cp)
{
    if (c.empty())
        return false;
    std::size_t i = 0;
    cp = nextCodePoint(c, i);
    return i == c.size();
}

} // namespace

int WordCheckSub(std::u16string_view c, std::u16string_view list)
{
    char32_t cp = 0;
    if (!singleCodePoint(c, cp))
        return 0;
    int position = 1;
    for (std::size_t i = 0; i < list.size(); ++position) {
        if (nextCodePoint(list, i) == cp)
            return position;
    }
    return 0;
}

int WordCheck(std::u16string_view c)
{
    char32_t cp = 0;
    if (!singleCodePoint(c, cp))
        return 0;
    return charInfo(cp).wordClass;
}

int KakkoCheck(std::u16string_view text, int n)
{
    if (n <= 0)
        return 0;
    std::vector<MeasuredChar> chars;
    measureText(text, chars);
    return static_cast<int>(KakkoCheck(MeasuredText(chars), static_cast<std::size_t>(n)));
}

std::size_t KakkoCheck(MeasuredText text, std::size_t n)
{
    n = std::min(n, text.size());
    // Most lines hold no opening bracket after their first character; only then can a pair
    // move the break, so the full search runs only for them.
    bool anyOpening = false;
    for (std::size_t i = 1; i < n && !anyOpening; ++i)
        anyOpening = text[i].opening;
    if (!anyOpening)
        return 0;
    return kakkoSearch(text, n, ByteGet(text, n));
}

std::size_t kakkoSearch(MeasuredText text, std::size_t n, int lineWidth)
{
    std::size_t best = n;
    for (int pair = 0; pair < kBracketPairs; ++pair) {
        const char16_t opening = kBracketList[2 * pair];
        const char16_t closing = kBracketList[2 * pair + 1];
        std::size_t last = 0; // 1-based position of the last opening at or before best
        for (std::size_t pos = 1; pos <= best; ++pos) {
            if (text[pos - 1].first == opening)
                last = pos;
        }
        if (last <= 1)
            continue;
        // The run from the opening bracket must fit in the line's width, so the search for
        // its closing bracket ends once the run grows wider than that.
        int runWidth = text[last - 1].width;
        for (std::size_t q = last + 1; q <= text.size(); ++q) {
            runWidth += text[q - 1].width;
            if (runWidth > lineWidth)
                break;
            if (text[q - 1].first == closing) {
                if (q > n && last - 1 < best)
                    best = last - 1;
                break;
            }
        }
    }
    return best != n ? best : 0;
}

} // namespace kestrova::engine
