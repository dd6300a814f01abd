// Quote prefixes: InyoSize and the text work of quoting and unquoting every line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrova::engine {

// The length in characters of the line's quote prefix: leading blanks (U+0020, U+3000) and
// characters of inyofu, ending with the last quote character.
[[nodiscard]] int InyoSize(std::u16string_view line, std::u16string_view inyofu);

struct QuotePrefix
{
    std::size_t chars = 0; // as InyoSize
    std::size_t units = 0; // the same prefix in UTF-16 code units
};
[[nodiscard]] QuotePrefix quotePrefix(std::u16string_view line, std::u16string_view inyofu);

// inyofu without its leading and trailing U+0020 spaces.
[[nodiscard]] std::u16string trimmedInyofu(std::u16string_view inyofu);

// Puts the first quote character of inyofu (after its leading spaces) in front of every line,
// the empty piece after a final CR LF included; no space is added. git's comment lines (see
// commentlines.h) stay as they are.
[[nodiscard]] std::u16string quoteText(std::u16string_view text, std::u16string_view inyofu,
                                       std::u16string_view commentChar = {});

// Removes the first character of every line that has a quote prefix, but of no git comment line.
[[nodiscard]] std::u16string unquoteText(std::u16string_view text, std::u16string_view inyofu,
                                         std::u16string_view commentChar = {});

} // namespace kestrova::engine
