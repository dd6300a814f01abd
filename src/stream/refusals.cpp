#include "stream/refusals.h"

#include "engine/cp932.h"
#include "engine/reflow.h"
#include "io/badbytes.h"
#include "io/codestream.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"
#include "stream/piececodecs.h"
#include "stream/work.h"

#include <string>

namespace kestrova::stream {
namespace {

using Consumed = std::function<void(std::size_t)>;
using io::badBytesReason;
using io::lineOfOffset;

// The converters' Shift_JIS in the pieces a file read whole is worked in (each up to the first
// CR LF a piece's length on), each decoded, worked and checked for forms in the output code,
// keeping nothing but the piece, up to the first refusal.
class WholePieces
{
public:
    WholePieces(const Task& o, const std::optional<std::string>& fault)
        : m_options(o)
        , m_fault(fault)
    {
        engine::beginReflow(m_state);
    }

    void read(std::string_view bytes, bool last)
    {
        if (refused)
            return;
        m_pending.append(bytes);
        for (;;) {
            std::size_t end = pieceEnd();
            // A piece ends at the end only when nothing follows: the last piece is worked so.
            const bool whole = end == m_pending.size();
            if (whole && !last)
                return;
            work(std::string_view(m_pending).substr(0, end), whole);
            m_pending.erase(0, end);
            if (whole || refused)
                return;
        }
    }

    std::optional<RunResult> refused;

private:
    std::size_t pieceEnd() const
    {
        for (std::size_t at = m_pending.find('\r', kPieceBytes); at != std::string::npos;
             at = m_pending.find('\r', at + 1)) {
            if (at + 1 < m_pending.size() && m_pending[at + 1] == '\n')
                return at + 2;
        }
        return m_pending.size();
    }

    void work(std::string_view piece, bool last)
    {
        std::size_t badAt = 0;
        const std::optional<std::u16string> text = engine::fromCp932(piece, &badAt);
        if (!text) {
            refused = refusal(
                m_options, m_fault ? *m_fault
                                   : badBytesReason(m_linesBefore + lineOfOffset(piece, badAt, {}),
                                                    {bytesOf(piece)[badAt]}));
            return;
        }
        m_lines.clear();
        runLines(m_options, m_state, *text, last, m_resumed, m_lines);
        m_resumed = true;
        if (last && m_options.command == Command::Align)
            engine::endReflow(m_options.settings, m_state, m_lines);
        if (!allHaveForms(m_lines, outputCodeOf(m_options))) {
            refused = noFormRefusal(m_options, *text, m_lines, m_linesBefore);
            return;
        }
        m_linesBefore += countLineEnds(*text);
    }

    const Task& m_options;
    const std::optional<std::string>& m_fault;
    engine::ReflowState m_state;
    std::string m_pending;
    std::u16string m_lines;
    std::size_t m_linesBefore = 0;
    bool m_resumed = false;
};

} // namespace

std::optional<RunResult> refusalOf(const Task& o, std::string_view input,
                                   const io::CodeDetection& code, const Consumed& consumed)
{
    // The bad bytes named as the input has them, before converting rewrites them: as broken
    // UTF-8 where the input reads so, else, for Shift_JIS, in its own code.
    const io::ByteScan scan = io::scanBytes(input, consumed);
    const bool shiftJis = code.family == io::CodeFamily::Sjis;
    std::optional<std::string> fault;
    if (scan.brokenUtf8) {
        const std::size_t at = *scan.brokenUtf8;
        fault = badBytesReason(lineOfOffset(input, at, consumed), {bytesOf(input)[at]});
    } else if (shiftJis) {
        fault = io::shiftJisFault(input, consumed);
    }

    io::DamageScan damage(code.family == io::CodeFamily::Euc, scan.held);
    WholePieces pieces(o, fault);
    io::CodeConvertStream stream(code, io::kTargetSjis);
    WholeCharacters characters;
    // Damage anywhere is named before a character without a form earlier on, so the pass goes
    // on to the end for JIS and EUC-JP.
    for (std::size_t from = 0; from < input.size() || from == 0;) {
        const std::size_t to = std::min(input.size(), from + kPieceBytes);
        const bool last = to == input.size();
        const std::string_view bytes =
            characters.take(stream.convert(input.substr(from, to - from), last), last);
        if (!shiftJis)
            damage.read(bytes);
        pieces.read(bytes, last);
        if (consumed)
            consumed(to);
        if (last || damage.loose || (shiftJis && pieces.refused))
            break;
        from = to;
    }
    if (const std::optional<std::string>& named = damage.loose ? damage.loose : damage.strict)
        return refusal(o, fault ? *fault : *named);
    return pieces.refused;
}

} // namespace kestrova::stream
