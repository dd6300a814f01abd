#include "engine/quote.h"

#include "engine/commentlines.h"
#include "engine/cp932.h"

namespace kestrova::engine {
namespace {

bool isQuoteChar(char32_t cp, std::u16string_view inyofu)
{
    for (std::size_t i = 0; i < inyofu.size();) {
        if (nextCodePoint(inyofu, i) == cp)
            return true;
    }
    return false;
}

// Calls piece(line, lineEnd) for every CR LF-separated piece; the piece after the last CR LF,
// possibly empty, is passed with an empty line end.
template <typename Piece> void forEachPiece(std::u16string_view text, Piece piece)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            piece(text.substr(start), std::u16string_view());
            return;
        }
        piece(text.substr(start, end - start), text.substr(end, 2));
        start = end + 2;
    }
}

} // namespace

QuotePrefix quotePrefix(std::u16string_view line, std::u16string_view inyofu)
{
    std::size_t walkedChars = 0, walkedUnits = 0;
    std::size_t pendingChars = 0, pendingUnits = 0;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t at = i;
        const char32_t cp = nextCodePoint(line, i);
        if (cp == U' ' || cp == 0x3000) {
            ++pendingChars;
            pendingUnits += i - at;
        } else if (isQuoteChar(cp, inyofu)) {
            pendingChars = 0;
            pendingUnits = 0;
        } else {
            break;
        }
        ++walkedChars;
        walkedUnits = i;
    }
    return QuotePrefix{walkedChars - pendingChars, walkedUnits - pendingUnits};
}

int InyoSize(std::u16string_view line, std::u16string_view inyofu)
{
    return static_cast<int>(quotePrefix(line, inyofu).chars);
}

std::u16string trimmedInyofu(std::u16string_view inyofu)
{
    const std::size_t first = inyofu.find_first_not_of(u' ');
    if (first == std::u16string_view::npos)
        return {};
    const std::size_t last = inyofu.find_last_not_of(u' ');
    return std::u16string(inyofu.substr(first, last - first + 1));
}

std::u16string quoteText(std::u16string_view text, std::u16string_view inyofu,
                         std::u16string_view commentChar)
{
    CommentLines comments(commentChar);
    std::u16string mark;
    const std::size_t first = inyofu.find_first_not_of(u' ');
    if (first != std::u16string_view::npos) {
        std::size_t i = first;
        appendCodePoint(mark, nextCodePoint(inyofu, i));
    }
    std::u16string out;
    out.reserve(text.size() + text.size() / 16 + mark.size());
    forEachPiece(text, [&](std::u16string_view line, std::u16string_view lineEnd) {
        if (!comments.keeps(line))
            out += mark;
        out += line;
        out += lineEnd;
    });
    return out;
}

std::u16string unquoteText(std::u16string_view text, std::u16string_view inyofu,
                           std::u16string_view commentChar)
{
    CommentLines comments(commentChar);
    std::u16string out;
    out.reserve(text.size());
    forEachPiece(text, [&](std::u16string_view line, std::u16string_view lineEnd) {
        if (!comments.keeps(line) && quotePrefix(line, inyofu).chars > 0) {
            std::size_t i = 0;
            (void)nextCodePoint(line, i);
            line.remove_prefix(i);
        }
        out += line;
        out += lineEnd;
    });
    return out;
}

} // namespace kestrova::engine
