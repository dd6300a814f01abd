#include "engine/commentlines.h"

namespace kestrova::engine {

bool CommentLines::keeps(std::u16string_view line)
{
    if (m_commentChar.empty())
        return false;
    if (m_pastScissors)
        return true;
    if (!line.starts_with(m_commentChar))
        return false;
    // git cuts the message at the first line that begins with these characters.
    const std::u16string_view rest = line.substr(m_commentChar.size());
    if (rest.starts_with(u' ') && rest.substr(1).starts_with(kScissors))
        m_pastScissors = true;
    return true;
}

} // namespace kestrova::engine
