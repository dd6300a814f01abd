#include "wholepath.h"

#include "engine/reflow.h"
#include "io/jis2sjis.h"
#include "io/textcodec.h"
#include "stream/work.h"

#include <cstring>

namespace kestrova::stream {
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
