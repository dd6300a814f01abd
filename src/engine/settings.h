// The settings the text engine reads, with the settings file's defaults.
#pragma once

#include <string>

namespace kestrova::engine {

struct ReflowSettings
{
    int Columns = 70; // widest output line in columns, head included
    int Kinsoku = 0;  // non-zero: line-start, word and bracket rules
    int ChgMode = 2;  // tail of a broken line: 0 own line, 1 joined when quoted, 2 joined
    std::u16string EnterMes = u"（改行位置を変更しました）"; // note after a re-flowed quote
    std::u16string Inyofu = u"≫＞>》〉｜|";                  // quote characters
};

} // namespace kestrova::engine
