// The whole-input path: the byte converters on the whole input first, then the text decoded
// in pieces, the output written once, complete.
#include "engine/hantozen.h"
#include "engine/quote.h"
#include "engine/reflow.h"
#include "stream/piececodecs.h"
#include "stream/work.h"

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

namespace {

// Where the piece that starts at from ends: just after the first CR LF at or beyond from +
// kPieceBytes, or at the end. CR and LF are never part of a two-byte character.
std::size_t wholePieceEnd(const io::ByteBuffer& bytes, std::size_t from)
{
    std::size_t at = from + kPieceBytes;
    while (at + 1 < bytes.size()) {
        const auto* cr = static_cast<const std::uint8_t*>(
            std::memchr(bytes.data() + at, '\r', bytes.size() - at - 1));
        if (!cr)
            break;
        at = static_cast<std::size_t>(cr - bytes.data());
        if (bytes[at + 1] == '\n')
            return at + 2;
        ++at;
    }
    return bytes.size();
}

RunResult runWholeText(const Task& o, std::string_view input, Output& out)
{
    RunResult result;
    const io::PreparedText prepared =
        io::prepareText(io::ByteBuffer(input.begin(), input.end()), true);
    // Input that reads as broken UTF-8 has its fault named already, and better.
    if (auto damage = io::damagedJisReason(input, prepared))
        return refusal(o, prepared.fault.empty() ? *damage : prepared.fault);
    const std::size_t size = prepared.bytes.size();
    const io::OutputCode code = outputCodeOf(o);
    if (o.command == Command::Convert && prepared.utf8) {
        result.resultWord = resultWord(lineEndKind(input), kUtf8Family);
    } else if (o.command == Command::Convert) {
        io::ByteBuffer bytes(input.begin(), input.end());
        result.resultWord = bytes.empty() ? 0 : io::CodeConvert(bytes, io::kTargetSjis);
    }

    engine::ReflowState state;
    engine::beginReflow(state);
    std::u16string text, lines;
    std::string output;
    std::size_t linesBefore = 0; // input lines in the pieces before this one
    std::size_t from = prepared.start;
    do {
        const std::size_t to = wholePieceEnd(prepared.bytes, from);
        text.clear();
        if (auto decoded = io::decodePiece(prepared, from, to, text); !decoded)
            return refusal(o, decoded.error().reason);
        lines.clear();
        runLines(o, state, text, to == size, from > prepared.start, lines);
        if (to == size && o.command == Command::Align)
            engine::endReflow(o.settings, state, lines);
        auto encoded = io::encodeText(lines, code, o.crlf);
        if (!encoded)
            return noFormRefusal(o, text, lines, linesBefore);
        linesBefore += countLineEnds(text);
        output += *encoded;
        from = to;
    } while (from < size);
    writeOrFail(out, output, result);
    return result;
}
} // namespace

RunResult runWhole(const Task& o, std::string_view input, Output& out)
{
    if (auto cutOff = io::cutOffUtf8Reason(input))
        return refusal(o, *cutOff);
    if (o.command == Command::Convert && o.convertTo != kConvertToUtf8 && !io::isUtf8Text(input)) {
        RunResult result;
        io::ByteBuffer bytes(input.begin(), input.end());
        result.resultWord = bytes.empty() ? 0 : io::CodeConvert(bytes, o.convertTo);
        writeOrFail(out,
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    result);
        return result;
    }
    return runWholeText(o, input, out);
}

} // namespace kestrova::stream
