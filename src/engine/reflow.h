// Re-flowing text to a column count: TextUpdate, UpdateSub, KinsokuCheck and their state.
//
// Lines are separated by CR LF only; a lone CR or LF is an ordinary one-column character.
#pragma once

#include "engine/charclass.h"
#include "engine/settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::engine {

struct CarryRecord
{
    std::u16string Tail;  // leftover of the last broken line
    std::u16string Quote; // quote prefix of the last line handled
    int QuoteLen = 0;     // its length in characters
    std::u16string Indent;
    int IndentLen = 0;
};

struct ReflowState // lives across the UpdateSub calls of one TextUpdate run
{
    int FlowState = 0; // 0 no line yet, 1 previous line finished, 2 tail waiting in Carry
    bool NoteDue = false;
    CarryRecord Carry;
    bool PastScissors = false; // git's scissors line was seen: every line stays as it is

    // Work buffers reused from line to line; they carry nothing between calls.
    std::vector<MeasuredChar> measured;
    std::u16string joined;
    // A line longer than this, in code units, is measured a stretch at a time rather than
    // whole, so that its memory does not grow with it.
    std::size_t windowUnits = 8192;
};

// The re-flowed text.
[[nodiscard]] std::u16string TextUpdate(std::u16string_view text, const ReflowSettings& settings,
                                        ReflowState& state);

// TextUpdate in steps, for a text that arrives line by line: beginReflow, then reflowLine for
// every line (lineEnd when a CR LF followed it), then endReflow; the output is appended to out
// and adds up to TextUpdate's.
void beginReflow(ReflowState& state);
void reflowLine(std::u16string_view line, bool lineEnd, const ReflowSettings& settings,
                ReflowState& state, std::u16string& out);
void endReflow(const ReflowSettings& settings, ReflowState& state, std::u16string& out);

// The output made from one line: perhaps a flushed tail and the note first, then the line's
// own output lines, CR LF between them and none after the last.
[[nodiscard]] std::u16string UpdateSub(std::u16string_view line, const ReflowSettings& settings,
                                       ReflowState& state);

// How many bytes at the start of the code page 932 bytes go on a line with width bytes of
// room; always at least one whole character.
[[nodiscard]] int KinsokuCheck(std::string_view bytes, int width, const ReflowSettings& settings);

// The same decision on measured characters, as a count of characters.
[[nodiscard]] std::size_t KinsokuCheck(MeasuredText text, int width, bool kinsoku);

struct LineBreak
{
    std::size_t chars = 0; // characters that go on the line
    int width = 0;         // their width
};
[[nodiscard]] LineBreak kinsokuBreak(MeasuredText text, int width, bool kinsoku);

} // namespace kestrova::engine
