// What the two paths of kestrova-cli's work share: the output code, line ends, result words,
// and the commands over lines of text.
#pragma once

#include "engine/reflow.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"
#include "stream/pipeline.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova::stream {

using io::kByteOrderMark;
inline constexpr int kUtf8Family = 3;

inline const std::uint8_t* bytesOf(std::string_view s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

io::OutputCode outputCodeOf(const Task& o);

// The kind CrLfConvert returns for bytes whose line ends it would not move.
io::LineEndKind lineEndKind(std::string_view bytes);

inline int resultWord(io::LineEndKind lineEnds, int family)
{
    return 4 * static_cast<int>(lineEnds) + family;
}

bool writeOrFail(Output& out, std::string_view bytes, RunResult& result);

// How messages name the input: standard input, or the file's name in quotes.
std::string inputName(const Task& o);

// The refusal of input for reason, which names the line and what it holds; a refusal has no
// result word.
RunResult refusal(const Task& o, const std::string& reason);

// One final end-of-file byte goes, as CodeConvert and the text reader drop it.
inline std::string_view withoutEndOfFile(std::string_view bytes)
{
    if (!bytes.empty() && static_cast<std::uint8_t>(bytes.back()) == io::kEndOfFile)
        bytes.remove_suffix(1);
    return bytes;
}

// The CR LF pairs of text: the input's line ends, once decoded.
std::size_t countLineEnds(std::u16string_view text);

// Why worked, the work of text (decoded input after linesBefore of its lines), is refused: it
// holds a character the output code cannot hold, named with the input's line that holds it,
// since the work moves line ends, or with the option that brought it in, the note or a quote
// mark.
std::string noFormReason(const Task& o, std::u16string_view text, std::u16string_view worked,
                         std::size_t linesBefore);
RunResult noFormRefusal(const Task& o, std::u16string_view text, std::u16string_view worked,
                        std::size_t linesBefore);

// Runs the command over the lines of text; last is set for the input's final piece, resumed
// for any piece after the first.
void runLines(const Task& o, engine::ReflowState& state, std::u16string_view text, bool last,
              bool resumed, std::u16string& out);

} // namespace kestrova::stream
