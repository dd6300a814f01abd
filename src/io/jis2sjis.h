// Japanese code conversion between Shift_JIS, ISO-2022-JP (JIS) and EUC-JP on byte buffers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>
namespace kestrova::io {
using ByteBuffer = std::vector<std::uint8_t>;
inline constexpr int kTargetSjis = 0, kTargetJis = 1, kTargetEuc = 2;

// The control bytes of JIS text, and the end-of-file mark a final line may carry.
inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kSo = 0x0E; // shift out: half-width katakana follow
inline constexpr std::uint8_t kSi = 0x0F; // shift in: back to ASCII
inline constexpr std::uint8_t kEndOfFile = 0x1A;

// What a JIS decoder is reading: the start state of JisToSjis.
enum JisState
{
    kAsciiState = 0,
    kKanjiState = 1,
    kKanaState = 2,
};

// The code family and line-end kind of CodeConvert's result word.
enum class CodeFamily
{
    Sjis = 0,
    Jis = 1,
    Euc = 2,
};
enum class LineEndKind
{
    CrLf = 0, // only CR LF, or no line end at all
    Cr = 1,   // the last other line end was a lone CR
    Lf = 2,   // the last other line end was a lone LF
};
struct CodeConvertResult
{
    CodeFamily family = CodeFamily::Sjis;
    LineEndKind lineEnds = LineEndKind::CrLf;

    friend bool operator==(const CodeConvertResult&, const CodeConvertResult&) = default;
};

// The line end at s[i], a CR or an LF, with i moved past it: CR LF is one line end, and so is a
// lone CR or a lone LF, whose kind goes into lineEnds.
inline void passLineEnd(const std::uint8_t* s, std::size_t& i, std::size_t n, LineEndKind& lineEnds)
{
    if (s[i++] == 0x0A)
        lineEnds = LineEndKind::Lf;
    else if (i < n && s[i] == 0x0A)
        ++i;
    else
        lineEnds = LineEndKind::Cr;
}

// Splits CodeConvert's result word into its two parts.
[[nodiscard]] constexpr CodeConvertResult decodeConvertResult(int word)
{
    return {static_cast<CodeFamily>(word & 3), static_cast<LineEndKind>((word >> 2) & 3)};
}

// The flag word of the detection scan for the bytes b0 b1 b2 at one scan position.
[[nodiscard]] int CodeCheck(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

// Hears now and then how far a scan has come, for a caller that lets go of the bytes behind.
using ScanProgress = std::function<void(std::size_t)>;

// What the detection scan of CodeConvert settles on for the bytes, without converting them:
// as much as a converter needs to know.
struct CodeDetection
{
    CodeFamily family = CodeFamily::Sjis;
    JisState jisStart = kAsciiState; // where JisToSjis starts reading JIS
    bool jisDesignated = false;      // JIS that opens with its own designation
};
[[nodiscard]] CodeDetection detectCode(const std::uint8_t* bytes, std::size_t n,
                                       const ScanProgress& passed = {});

// Guesses the code of the buffer, converts it to target (any other target converts nothing),
// turns every line end into CR LF and drops one final 0x1A. Returns 4 × line-end kind + family
// of the input (0 Shift_JIS, 1 JIS, 2 EUC).
int CodeConvert(ByteBuffer& buffer, int target); // returns the result word 4*lineEndKind + family

// CodeConvert for bytes whose code is already known, from detectCode over these bytes or over
// the whole input they come from.
int CodeConvertAs(ByteBuffer& buffer, int target, CodeDetection code);

// Shift_JIS to ISO-2022-JP; always well-formed, ending in ASCII. A byte that is no JIS X 0208
// character becomes the geta mark.
void SjisToJis(ByteBuffer& buffer);
// Shift_JIS to EUC-JP; always well-formed, with the geta mark as SjisToJis.
void SjisToEuc(ByteBuffer& buffer);
// Rejoins Shift_JIS characters split by other bytes and drops a lead byte left at the end.
void SjisToSjis(ByteBuffer& buffer);
// ISO-2022-JP to Shift_JIS; startState 0 ASCII, 1 kanji, 2 half-width katakana.
void JisToSjis(ByteBuffer& buffer, int startState);
// EUC-JP to Shift_JIS.
void EucToSjis(ByteBuffer& buffer);
// Turns every line end into CR LF. Returns 0 (only CR LF), 1 (the last other end was a lone CR)
// or 2 (a lone LF).
int CrLfConvert(ByteBuffer& buffer);
} // namespace kestrova::io
