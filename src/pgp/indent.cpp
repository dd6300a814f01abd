#include "pgp/indent.h"

#include <algorithm>
#include <string_view>

namespace kestrova::pgp {

namespace {

// Calls visit(line) for each line of text, without its CR LF, and rebuilds the text from what
// visit returns, keeping every CR LF.
template <typename Visit> std::u16string eachLine(const std::u16string& text, Visit visit)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(u"\r\n", start);
        const std::size_t stop = end == std::u16string::npos ? text.size() : end;
        out += visit(std::u16string_view(text).substr(start, stop - start));
        if (end == std::u16string::npos)
            break;
        out += u"\r\n";
        start = end + 2;
    }
    return out;
}

} // namespace

int CutIndent(std::u16string& text)
{
    std::size_t width = text.size();
    eachLine(text, [&width](std::u16string_view line) {
        if (!line.empty()) {
            std::size_t spaces = 0;
            while (spaces < line.size() && spaces < width && line[spaces] == u' ')
                ++spaces;
            width = std::min(width, spaces);
        }
        return std::u16string_view();
    });
    if (width < 1)
        return 0;
    text = eachLine(text, [width](std::u16string_view line) {
        return line.empty() ? line : line.substr(width);
    });
    return static_cast<int>(width);
}

void AddIndent(std::u16string& text, int width)
{
    if (width < 1)
        return;
    const std::u16string indent(static_cast<std::size_t>(width), u' ');
    text = eachLine(text, [&indent](std::u16string_view line) {
        return line.empty() ? std::u16string() : indent + std::u16string(line);
    });
}

} // namespace kestrova::pgp
