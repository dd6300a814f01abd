#include "engine/reflow.h"

#include "engine/commentlines.h"
#include "engine/quote.h"

namespace kestrova::engine {
namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

// The number of characters in the grapheme cluster that begins at index at.
std::size_t clusterLength(MeasuredText text, std::size_t at)
{
    std::size_t end = at + 1;
    while (end < text.size() && text[end].joins)
        ++end;
    return end - at;
}

// The waiting tail as a line of its own, under the head of the line it came from.
void flushTail(const ReflowState& state, std::u16string& out)
{
    out += state.Carry.Quote;
    out += state.Carry.Indent;
    out += state.Carry.Tail;
    out += kCrLf;
}

// The owed note, before line, which has no quote prefix. A line that already is the note (the
// text was aligned before) stands in for it, so aligning an edited text again never stacks a
// second note.
void writeNote(std::u16string_view line, const ReflowSettings& settings, ReflowState& state,
               std::u16string& out)
{
    if (line != settings.EnterMes) {
        out += settings.EnterMes;
        out += kCrLf;
    }
    state.NoteDue = false;
}

// A line of git's that stays as it is: it takes no tail and leaves none, but a waiting tail
// and an owed note come before it as before any line without a quote prefix.
void keepLine(std::u16string_view line, const ReflowSettings& settings, ReflowState& state,
              std::u16string& out)
{
    if (state.FlowState == 0)
        state.NoteDue = false;
    else if (state.FlowState == 2)
        flushTail(state, out);
    if (state.NoteDue)
        writeNote(line, settings, state, out);
    state.FlowState = 1;
    state.Carry = CarryRecord{};
    out += line;
}

// UpdateSub, appending to out.
void updateLine(std::u16string_view line, const ReflowSettings& settings, ReflowState& state,
                std::u16string& out)
{
    CommentLines comments(settings.CommentChar, state.PastScissors);
    if (comments.keeps(line)) {
        state.PastScissors = comments.pastScissors();
        keepLine(line, settings, state, out);
        return;
    }
    const int columns = settings.Columns;

    // Split into prefix, indentation and text.
    const QuotePrefix prefix = quotePrefix(line, settings.Inyofu);
    std::size_t quoteUnits = prefix.units;
    std::size_t quoteChars = prefix.chars;
    std::size_t indent = 0;
    while (quoteUnits + indent < line.size() && line[quoteUnits + indent] == u' ')
        ++indent;
    std::u16string_view text = line.substr(quoteUnits + indent);

    // Leave at least two columns for text; what the head loses is dropped.
    const int quoteWidth = static_cast<int>(textWidth(line.substr(0, quoteUnits)));
    int headWidth = quoteWidth + static_cast<int>(indent);
    if (headWidth >= columns - 1) {
        const int limit = std::max(columns - 2, 0);
        if (quoteWidth >= columns - 1) {
            int width = 0;
            std::size_t units = 0, chars = 0;
            for (std::size_t i = 0; i < quoteUnits;) {
                const std::size_t at = i;
                const int w = charWidth(nextCodePoint(line, i));
                if (width + w > limit) {
                    i = at;
                    break;
                }
                width += w;
                units = i;
                ++chars;
            }
            quoteUnits = units;
            quoteChars = chars;
            indent = 0;
            headWidth = width;
        } else {
            indent = static_cast<std::size_t>(std::max(limit - quoteWidth, 0));
            headWidth = quoteWidth + static_cast<int>(indent);
        }
    }
    const std::u16string_view quote = line.substr(0, quoteUnits);
    const std::u16string_view indentation = line.substr(prefix.units, indent);

    // Settle the previous line.
    if (state.FlowState == 0) {
        state.NoteDue = false;
    } else if (state.FlowState == 2) {
        if (state.Carry.Quote == quote && text.find_first_not_of(u' ') != text.npos) {
            state.joined.assign(state.Carry.Tail);
            state.joined += text;
            text = state.joined;
        } else {
            flushTail(state, out);
        }
    }

    if (state.NoteDue && quoteChars == 0)
        writeNote(line, settings, state, out);

    state.FlowState = 1;
    state.Carry.Quote.assign(quote);
    state.Carry.QuoteLen = static_cast<int>(quoteChars);
    state.Carry.Indent.assign(indentation);
    state.Carry.IndentLen = static_cast<int>(indent);

    const auto appendHead = [&] {
        out += quote;
        out += indentation;
    };

    // A text of more than twice the room in code units cannot fit (no character is narrower
    // than a column or longer than two units), so it is measured at once.
    std::vector<MeasuredChar>& chars = state.measured;
    chars.clear();
    std::size_t restWidth = 0;
    const std::size_t room2 = 2 * static_cast<std::size_t>(std::max(columns - headWidth, 0));
    const bool windowed = text.size() > std::max(room2, state.windowUnits);
    if (text.size() <= room2) {
        restWidth = textWidth(text);
        if (static_cast<std::size_t>(headWidth) + restWidth <= static_cast<std::size_t>(columns)) {
            appendHead();
            out += text;
            return;
        }
        measureText(text, chars);
    } else if (windowed) {
        restWidth = textWidth(text);
    } else {
        measureText(text, chars);
        for (const MeasuredChar& c : chars)
            restWidth += c.width;
    }
    const int room = columns - headWidth;
    const bool kinsoku = settings.Kinsoku != 0;

    // A long line is measured a stretch at a time. A break looks at most twice the room ahead
    // (the characters that fit, then a bracketed run no wider than they are) and at the whole
    // cluster it falls in, so the stretch from the current character on is kept wider than
    // that, and the characters already written are dropped when it is refilled.
    const std::size_t lookahead = 2 * static_cast<std::size_t>(std::max(room, 0)) + 4;
    const ClusterJoins joins(windowed ? text : std::u16string_view());
    std::size_t measuredEnd = windowed ? 0 : text.size();
    std::size_t ahead = windowed ? 0 : restWidth; // width of the measured characters from at on
    std::size_t at = 0;
    const auto refill = [&] {
        if (measuredEnd == text.size() || ahead > lookahead)
            return;
        chars.erase(chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(at));
        at = 0;
        const Stretch more =
            measureStretch(text, measuredEnd, lookahead - ahead + state.windowUnits, joins, chars);
        measuredEnd = more.end;
        ahead += more.width;
    };
    // The source of the characters from index `from` on, up to index `to`.
    const auto source = [&](std::size_t from, std::size_t to) {
        const std::size_t begin = chars[from].unit;
        const std::size_t end = to < chars.size() ? chars[to].unit : measuredEnd;
        return text.substr(begin, end - begin);
    };

    std::size_t remaining = restWidth;
    bool first = true;
    for (refill(); at < chars.size(); refill()) {
        if (!first &&
            static_cast<std::size_t>(headWidth) + remaining <= static_cast<std::size_t>(columns)) {
            const bool join = settings.ChgMode == 2 || (settings.ChgMode == 1 && quoteChars > 0);
            const std::u16string_view rest = text.substr(chars[at].unit);
            if (join) {
                state.Carry.Tail.assign(rest);
                state.FlowState = 2;
            } else {
                out += kCrLf;
                appendHead();
                out += rest;
            }
            if (!settings.EnterMes.empty() && quoteChars > 0)
                state.NoteDue = true;
            break;
        }
        const LineBreak piece = kinsokuBreak(MeasuredText(chars).subspan(at), room, kinsoku);
        if (!first)
            out += kCrLf;
        appendHead();
        out += source(at, at + piece.chars);
        remaining -= static_cast<std::size_t>(piece.width);
        ahead -= static_cast<std::size_t>(piece.width);
        at += piece.chars;
        first = false;
    }
}

} // namespace

LineBreak kinsokuBreak(MeasuredText text, int width, bool kinsoku)
{
    if (text.empty())
        return {};
    // The characters that fit, in one pass that also notes whether an opening bracket stands
    // after the first of them.
    const int limit = std::max(width, 0);
    int cutWidth = 0;
    std::size_t n = 0;
    bool opening = false;
    while (n < text.size() && cutWidth + text[n].width <= limit) {
        opening |= n > 0 && text[n].opening;
        cutWidth += text[n++].width;
    }
    if (n == text.size() && cutWidth < width)
        return {n, cutWidth}; // shorter than the room

    // A break never falls inside a grapheme cluster: go back to its start. A first cluster
    // wider than the room goes on the line whole, as a single wide character would.
    while (n > 0 && n < text.size() && text[n].joins)
        cutWidth -= text[--n].width;
    const std::size_t first = clusterLength(text, 0);
    const int firstWidth = ByteGet(text, first);
    if (width <= 1 || n == 0)
        return {first, firstWidth};
    if (!kinsoku || n <= first)
        return {n, cutWidth};

    if (opening) {
        if (std::size_t m = kakkoSearch(text, n, cutWidth); m > 0) {
            while (m > 0 && m < text.size() && text[m].joins)
                --m;
            if (m > 0)
                return {m, ByteGet(text, m)};
        }
    }

    // Walk back from the break while the character after it may not begin the line or the
    // break would split a word, a whole cluster at a time. Counts are of characters: the
    // break lies after character c.
    std::size_t c = n;
    int keptWidth = cutWidth; // width of the first c characters
    int prev = kClassOther;
    const auto stepBack = [&] {
        do
            keptWidth -= text[--c].width;
        while (c > 0 && text[c].joins);
    };
    while (c > first) {
        const int next = c < text.size() ? int{text[c].wordClass} : int{kClassOther};
        switch (next) {
        case kClassSmallKana:
        case kClassProlonged:
            stepBack();
            prev = next;
            break;
        case kClassStop:
            if (prev == kClassStop) { // the second of two stops may begin the line
                const std::size_t stop = clusterLength(text, c);
                return {c + stop, keptWidth + ByteGet(text.subspan(c), stop)};
            }
            stepBack();
            prev = kClassStop;
            break;
        case kClassFullWord:
        case kClassHalfWord:
            if (text[c - 1].wordClass != next)
                return {c, keptWidth};
            stepBack();
            prev = next;
            break;
        default:
            return {c, keptWidth};
        }
    }
    return {n, cutWidth};
}

std::size_t KinsokuCheck(MeasuredText text, int width, bool kinsoku)
{
    return kinsokuBreak(text, width, kinsoku).chars;
}

int KinsokuCheck(std::string_view bytes, int width, const ReflowSettings& settings)
{
    std::vector<MeasuredChar> chars;
    measureBytes(bytes, chars);
    const MeasuredText text(chars);
    return ByteGet(text, KinsokuCheck(text, width, settings.Kinsoku != 0));
}

std::u16string UpdateSub(std::u16string_view line, const ReflowSettings& settings,
                         ReflowState& state)
{
    std::u16string out;
    updateLine(line, settings, state, out);
    return out;
}

void beginReflow(ReflowState& state)
{
    state.FlowState = 0;
    state.PastScissors = false;
}

void reflowLine(std::u16string_view line, bool lineEnd, const ReflowSettings& settings,
                ReflowState& state, std::u16string& out)
{
    updateLine(line, settings, state, out);
    if (lineEnd)
        out += kCrLf;
}

void endReflow(const ReflowSettings& settings, ReflowState& state, std::u16string& out)
{
    if (state.FlowState == 2) {
        out += kCrLf;
        updateLine(u"", settings, state, out);
    }
    if (state.NoteDue) {
        out += kCrLf;
        updateLine(u"", settings, state, out);
    }
}

std::u16string TextUpdate(std::u16string_view text, const ReflowSettings& settings,
                          ReflowState& state)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 8 + 16);
    beginReflow(state);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kCrLf, start);
        if (end == std::u16string_view::npos) {
            reflowLine(text.substr(start), false, settings, state, out);
            break;
        }
        reflowLine(text.substr(start, end - start), true, settings, state, out);
        start = end + 2;
    }
    endReflow(settings, state, out);
    return out;
}

} // namespace kestrova::engine
