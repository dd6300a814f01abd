// Cutting text that gpg or a batch file gives into lines.
#pragma once

#include <string_view>
#include <vector>

namespace kestrova::pgp {

// The lines of text, each without its LF; a last line without LF counts, an empty end does not.
[[nodiscard]] inline std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace kestrova::pgp
