// CutIndent and AddIndent: the common indentation of a text taken off before PGP reads it and
// put back on what PGP gives, so that an indented signed message can be checked.
//
// Lines are separated by CR LF only; a lone CR or LF is an ordinary character, and a last line
// without CR LF counts as a line. Only U+0020 counts as indentation.
#pragma once

#include <string>

namespace kestrova::pgp {

// Removes the indentation every non-empty line shares and returns its width, or returns 0 and
// leaves the text alone when some non-empty line has none. Empty lines stay empty.
int CutIndent(std::u16string& text);

// Puts width spaces in front of every non-empty line; a width below 1 changes nothing.
void AddIndent(std::u16string& text, int width);

} // namespace kestrova::pgp
