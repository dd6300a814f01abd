// How input whose bytes are no text is named to the user: the line and bytes of its first fault,
// in one wording for the window and for kestrova-cli, from passes that may keep only a piece.
#pragma once

#include "io/jis2sjis.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::io {

// Calls passed every so many bytes of a pass over the input, and says there whether the pass
// is still wanted.
class Every
{
public:
    static constexpr std::size_t kBytes = 1 << 20;
    explicit Every(const ScanProgress& passed, const std::atomic<bool>* stop = nullptr)
        : m_passed(passed)
        , m_stop(stop)
        , m_next(passed || stop ? kBytes : SIZE_MAX)
    {
    }
    bool at(std::size_t i)
    {
        if (i < m_next)
            return true;
        if (m_passed)
            m_passed(i);
        m_next = i + kBytes;
        return !m_stop || !m_stop->load(std::memory_order_relaxed);
    }

private:
    const ScanProgress& m_passed;
    const std::atomic<bool>* m_stop;
    std::size_t m_next;
};

// The line that byte offset lies on: CR LF, a lone CR and a lone LF each end a line, as the
// input has them.
[[nodiscard]] std::size_t lineOfOffset(std::string_view bytes, std::size_t offset,
                                       const ScanProgress& passed = {});

// "line 3: byte 0xA0 is not ...", "line 2: bytes 0xA9 0xA1 are not ...", or, with no bytes,
// "line 4 holds bytes that are not ...".
[[nodiscard]] std::string badBytesReason(std::size_t line, std::string_view bytes);
[[nodiscard]] std::string badBytesReason(std::size_t line,
                                         std::initializer_list<std::uint8_t> bytes);

// Which byte values the input holds.
using ByteSet = std::array<bool, 256>;

// What one pass over the raw input finds: the byte values it holds, and, where it is no valid
// UTF-8 but reads as UTF-8 with faults rather than as a Japanese code (a byte-order mark, or at
// least as many valid multi-byte sequences as invalid ones), its first invalid sequence.
struct ByteScan
{
    ByteSet held{};
    std::optional<std::size_t> brokenUtf8;
};
[[nodiscard]] ByteScan scanBytes(std::string_view input, const ScanProgress& passed = {});

// The first character of Shift_JIS input that decodes to nothing once SjisToSjis has rejoined
// characters split by other bytes, named by the input's own bytes and line.
[[nodiscard]] std::optional<std::string> shiftJisFault(std::string_view input,
                                                       const ScanProgress& passed = {});

// The damage in the converters' Shift_JIS of JIS or EUC-JP input, read in parts of whole
// characters: the first character that decodes to nothing (loose) and the first that also
// lies outside the rows of JIS X 0208 or, from JIS, is an ESC the reading did not take
// (strict). Each is named by the bytes the input holds for it, the Shift_JIS arithmetic undone;
// where damage made bytes of its own, only by the line, never by a byte the input lacks.
class DamageScan
{
public:
    DamageScan(bool euc, const ByteSet& held)
        : m_euc(euc)
        , m_held(held)
    {
    }

    void read(std::string_view converted);

    std::optional<std::string> loose;
    std::optional<std::string> strict;

private:
    void found(bool isLoose, std::string reason);
    [[nodiscard]] std::string pairReason(std::uint8_t lead, std::uint8_t trail) const;

    bool m_euc;
    const ByteSet& m_held;
    std::size_t m_line = 1;
};

} // namespace kestrova::io
