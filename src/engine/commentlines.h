// git's comment lines: in the files git hands its editor, the lines that begin with its comment
// character, and every line from its scissors line on, are git's own and stay as they are.
#pragma once

#include <string_view>

namespace kestrova::engine {

// What git writes as its scissors line, after the comment character and a blank.
inline constexpr std::u16string_view kScissors =
    u"------------------------ >8 ------------------------";

// Follows a text line by line, in order. commentChar empty: no line is kept.
class CommentLines
{
public:
    explicit CommentLines(std::u16string_view commentChar, bool pastScissors = false)
        : m_commentChar(commentChar)
        , m_pastScissors(pastScissors)
    {
    }

    // True when line, the next line of the text, is to be left exactly as it is.
    [[nodiscard]] bool keeps(std::u16string_view line);

    // The scissors line has been seen: everything from it on is kept.
    [[nodiscard]] bool pastScissors() const { return m_pastScissors; }

private:
    std::u16string_view m_commentChar;
    bool m_pastScissors = false;
};

} // namespace kestrova::engine
