// What the work of kestrova-cli shares: the output code, line ends, the refusals' words, the
// commands over lines of text.
#include "stream/work.h"

#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "stream/piececodecs.h"

#include <algorithm>
#include <cstring>

namespace kestrova::stream {

io::OutputCode outputCodeOf(const Task& o)
{
    if (o.command != Command::Convert)
        return o.outputCode;
    switch (o.convertTo) {
    case io::kTargetSjis:
        return io::OutputCode::Sjis;
    case io::kTargetJis:
        return io::OutputCode::Jis;
    case io::kTargetEuc:
        return io::OutputCode::Euc;
    default:
        return io::OutputCode::Utf8;
    }
}

io::LineEndKind lineEndKind(std::string_view bytes)
{
    io::LineEndKind kind = io::LineEndKind::CrLf;
    const auto* s = bytesOf(bytes);
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        // One test passes over nearly every byte.
        if (s[i] > '\r' || (s[i] != '\r' && s[i] != '\n'))
            ++i;
        else
            io::passLineEnd(s, i, n, kind);
    }
    return kind;
}

std::string inputName(const Task& o)
{
    return o.file == "-" ? std::string("standard input") : "'" + o.file + "'";
}

RunResult noFormRefusal(const Task& o, std::u16string_view text, std::u16string_view worked,
                        std::size_t linesBefore)
{
    RunResult result;
    result.exitStatus = kExitBadInput;
    result.error = noFormReason(o, text, worked, linesBefore);
    return result;
}

RunResult refusal(const Task& o, const std::string& reason)
{
    RunResult result;
    result.exitStatus = kExitBadInput;
    result.error = "cannot read " + inputName(o) + ": " + reason;
    return result;
}

bool writeOrFail(Output& out, std::string_view bytes, RunResult& result)
{
    if (bytes.empty() || out.write(bytes))
        return true;
    result.exitStatus = kExitWriteFailed;
    result.error = out.failure();
    return false;
}

void runLines(const Task& o, engine::ReflowState& state, std::u16string_view text, bool last,
              bool resumed, std::u16string& out)
{
    if (o.command == Command::Widen) {
        out += engine::widenKana(text);
        return;
    }
    std::u16string mark;
    if (o.command == Command::Quote)
        mark = engine::quoteText(u"", o.settings.Inyofu);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos && !last)
            return; // a piece ends with its CR LF: nothing is left over
        const bool lineEnd = end != std::u16string_view::npos;
        const std::u16string_view line =
            text.substr(start, lineEnd ? end - start : std::u16string_view::npos);
        switch (o.command) {
        case Command::Align:
            engine::reflowLine(line, lineEnd, o.settings, state, out);
            break;
        case Command::Quote:
            // In a text file the final line end ends the last line: the empty piece after it
            // is no line and gets no mark. An empty input is quoted as the window does.
            if (!lineEnd && line.empty() && (start > 0 || resumed))
                return;
            out += mark;
            out += line;
            break;
        case Command::Convert:
            out += line;
            break;
        default:
            out += engine::unquoteText(line, o.settings.Inyofu);
            break;
        }
        if (!lineEnd)
            return;
        if (o.command != Command::Align)
            out += u"\r\n";
        start = end + 2;
    }
}

std::size_t countLineEnds(std::u16string_view text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(u"\r\n"); at != std::u16string_view::npos;
         at = text.find(u"\r\n", at + 2))
        ++count;
    return count;
}

std::string noFormReason(const Task& o, std::u16string_view text, std::u16string_view worked,
                         std::size_t linesBefore)
{
    const io::OutputCode code = outputCodeOf(o);
    char32_t refused = 0;
    for (std::size_t i = 0; i < worked.size() && !refused;) {
        if (const char32_t c = engine::nextCodePoint(worked, i); !hasFormIn(c, code))
            refused = c;
    }
    std::size_t line = linesBefore + 1;
    bool found = false;
    for (std::size_t i = 0; i < text.size() && !found;) {
        const char32_t c = engine::nextCodePoint(text, i);
        found = c == refused;
        if (c == U'\n')
            ++line;
    }
    std::u16string alone;
    engine::appendCodePoint(alone, refused);
    const std::string reason = io::encodeText(alone, code, false, line).error().reason;
    if (found)
        return reason;
    // "line 1: U+1F600 has no form in Shift_JIS" without its line, after the option's name.
    const std::string what = reason.substr(reason.find(':') + 2);
    const bool inNote = o.settings.EnterMes.find(alone) != std::u16string::npos;
    return std::string(inNote ? "--note" : "--quote-chars") + ": " + what;
}

} // namespace kestrova::stream
