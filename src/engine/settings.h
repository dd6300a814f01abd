// The settings the text engine reads, and their defaults: the one place the settings record
// and the settings file take them from.
#pragma once

#include <string>
#include <string_view>

namespace kestrova::engine {

inline constexpr int kDefaultColumns = 70;
inline constexpr int kDefaultKinsoku = 0;
inline constexpr int kDefaultChgMode = 2;
inline constexpr std::u16string_view kDefaultEnterMes = u"（改行位置を変更しました）";
inline constexpr std::u16string_view kDefaultInyofu = u"≫＞>》〉｜|";

struct ReflowSettings
{
    int Columns = kDefaultColumns; // widest output line in columns, head included
    int Kinsoku = kDefaultKinsoku; // non-zero: line-start, word and bracket rules
    int ChgMode = kDefaultChgMode; // tail of a broken line: 0 own line, 1 joined when quoted,
                                   // 2 joined
    std::u16string EnterMes{kDefaultEnterMes}; // note after a re-flowed quote
    std::u16string Inyofu{kDefaultInyofu};     // quote characters
    // git's comment character in the files git hands its editor: lines that begin with it, and
    // all from its scissors line on, are never re-flowed, joined or quoted. Empty: no such lines.
    std::u16string CommentChar;
};

} // namespace kestrova::engine
