// Text in and out of files and pipes: recognising UTF-8 or the Japanese codes on reading,
// writing UTF-8 or a Japanese code without replacing any character.
#pragma once

#include "io/jis2sjis.h"
#include "io/result.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::io {

enum class OutputCode
{
    Utf8,
    Sjis,
    Jis,
    Euc,
};

struct DecodedText
{
    std::u16string text; // line ends are CR LF
    std::string status;  // "JIS", "EUC:LF", ":CR", "UTF-8", "UTF-8:LF", or empty
    bool utf8 = false;   // read as UTF-8: written back as UTF-8
    bool lfOnly = false; // written back with LF: every line end was a lone LF, or UTF-8 had none
    CodeFamily family = CodeFamily::Sjis; // the legacy code found, when not UTF-8
};

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// JIS and EUC reach only the rows of JIS X 0208 that the Shift_JIS arithmetic maps: lead
// bytes up to 0xEF. The user area and the IBM extensions beyond have no form there.
[[nodiscard]] constexpr bool fitsJisRows(std::uint16_t form)
{
    return form <= 0xFF || (form >> 8) <= 0xEF;
}

// Write the UTF-8 of the character c at o and return the end: putUtf8Bmp for a character of
// the Basic Multilingual Plane above U+007F and outside the surrogates, putUtf8 for any but a
// surrogate.
inline char* putUtf8Bmp(char* o, char32_t c)
{
    if (c < 0x800) {
        o[0] = static_cast<char>(0xC0 | c >> 6);
        o[1] = static_cast<char>(0x80 | (c & 0x3F));
        return o + 2;
    }
    o[0] = static_cast<char>(0xE0 | c >> 12);
    o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    o[2] = static_cast<char>(0x80 | (c & 0x3F));
    return o + 3;
}

inline char* putUtf8(char* o, char32_t c)
{
    if (c < 0x80) {
        *o = static_cast<char>(c);
        return o + 1;
    }
    if (c < 0x10000)
        return putUtf8Bmp(o, c);
    o[0] = static_cast<char>(0xF0 | c >> 18);
    o[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    o[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    o[3] = static_cast<char>(0x80 | (c & 0x3F));
    return o + 4;
}

// True for bytes that start with a UTF-8 byte-order mark or hold at least one multi-byte
// sequence, and are valid UTF-8 throughout.
[[nodiscard]] bool isUtf8Text(std::string_view bytes);
// Length of the valid UTF-8 sequence at the start of s, 0 when it is not one.
[[nodiscard]] std::size_t utf8SequenceLength(const unsigned char* s, std::size_t left);

// Where the run of ASCII that starts at s[i] ends, passed eight bytes at a time.
[[nodiscard]] inline std::size_t asciiRunEnd(const unsigned char* s, std::size_t i, std::size_t n)
{
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ULL)
            break;
        i += 8;
    }
    while (i < n && s[i] < 0x80)
        ++i;
    return i;
}

// The character of the three-byte sequence at s[i] that most Japanese text is made of, checked
// in place: E1-EC and EE-EF lead any two continuation bytes, E0 needs A0 and up, ED below A0 (no
// surrogates). 0 when there is none: the caller reads the bytes the long way.
[[nodiscard]] inline char32_t threeByteCharacter(const unsigned char* s, std::size_t i,
                                                 std::size_t n)
{
    const unsigned char b = s[i];
    if (i + 3 > n || b < 0xE0 || b > 0xEF || (s[i + 1] & 0xC0) != 0x80 ||
        (s[i + 2] & 0xC0) != 0x80 || (b == 0xE0 && s[i + 1] < 0xA0) ||
        (b == 0xED && s[i + 1] >= 0xA0))
        return 0;
    return char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
}

// The code point of the valid UTF-8 sequence at s[i], i moved past it.
inline char32_t nextUtf8(const unsigned char* s, std::size_t& i)
{
    const unsigned char b = s[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    if (b < 0xE0) {
        const char32_t c = char32_t(b & 0x1F) << 6 | (s[i + 1] & 0x3F);
        i += 2;
        return c;
    }
    if (b < 0xF0) {
        const char32_t c =
            char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
        i += 3;
        return c;
    }
    const char32_t c = char32_t(b & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 |
                       char32_t(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
    i += 4;
    return c;
}

// Writes the UTF-16 of the character c at o (a surrogate pair above U+FFFF); returns the end.
inline char16_t* putUtf16(char16_t* o, char32_t c)
{
    if (c < 0x10000) {
        *o = static_cast<char16_t>(c);
        return o + 1;
    }
    o[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    o[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    return o + 2;
}

// What bytes that are all ASCII (or none at all) are read as. Such a text has no code of its
// own: a file the window reads takes this platform's text code, so that Japanese added to it
// is written back as UTF-8; kestrova-cli reports what the code detection finds.
enum class PlainAscii
{
    AsDetected, // Shift_JIS as the detection finds it, or JIS when it holds JIS's escapes
    AsUtf8,     // UTF-8, unless it holds JIS's escapes
};

// True for bytes that are all ASCII and hold no JIS text, including none at all.
[[nodiscard]] bool isPlainAscii(std::string_view bytes);

// Decodes file bytes. UTF-8 is recognised first (and plain ASCII with PlainAscii::AsUtf8);
// otherwise, with convMode, the JIS, EUC and Shift_JIS detection runs and converts to
// Shift_JIS; without it the bytes are taken as Shift_JIS as they are. Bytes that are no code
// page 932 text make it fail with BadData, naming the line.
[[nodiscard]] Result<DecodedText> decodeText(std::string_view bytes, bool convMode,
                                             PlainAscii ascii = PlainAscii::AsDetected);
[[nodiscard]] Result<DecodedText> decodeText(ByteBuffer&& bytes, bool convMode,
                                             PlainAscii ascii = PlainAscii::AsDetected);

// Input made ready to be decoded in pieces: its code recognised as decodeText does, its line
// ends CR LF. Pieces that end at a CR LF decode to the text's lines.
struct PreparedText
{
    ByteBuffer bytes;      // UTF-8 or Shift_JIS
    std::size_t start = 0; // after a byte-order mark
    std::string status;
    bool utf8 = false;
    bool lfOnly = false;
    CodeFamily family = CodeFamily::Sjis;
    std::string fault; // names the input's first bad bytes and their line, when it has some
};
[[nodiscard]] PreparedText prepareText(ByteBuffer&& bytes, bool convMode,
                                       PlainAscii ascii = PlainAscii::AsDetected);
// Appends the text of bytes [from, to) of prepared to out; BadData names the line.
[[nodiscard]] Result<Done> decodePiece(const PreparedText& prepared, std::size_t from,
                                       std::size_t to, std::u16string& out);

// Where the reader keeps going, a filter that promises to refuse rather than change refuses
// two kinds of damage too, named by line and bytes as decodePiece names bad bytes:
// input that is valid UTF-8 but for a cut-off last character (only line ends after it), which
// would otherwise read as Shift_JIS;
// passed is told how far the pass over the input has come.
[[nodiscard]] std::optional<std::string> cutOffUtf8Reason(std::string_view bytes,
                                                          const ScanProgress& passed = {});
// and JIS or EUC-JP input (prepared from input) whose pairs convert outside the rows of JIS X
// 0208, into the user area, or that leaves an ESC the JIS reading did not take.
[[nodiscard]] std::optional<std::string> damagedJisReason(std::string_view input,
                                                          const PreparedText& prepared);

// UTF-8 to UTF-16 and back; decodeUtf8 expects valid UTF-8 (a byte-order mark is dropped).
[[nodiscard]] std::u16string decodeUtf8(std::string_view bytes);
[[nodiscard]] std::string encodeUtf8(std::u16string_view text);

// Encodes text that has CR LF line ends. UTF-8 turns them into LF unless crlf is set; the
// Japanese codes always keep CR LF. A character the code has no form for fails with BadData:
// the reason names it (U+ number) and its line, counted from firstLine.
[[nodiscard]] Result<std::string> encodeText(std::u16string_view text, OutputCode code, bool crlf,
                                             std::size_t firstLine = 1);

// What every line end of a text becomes.
enum class LineEnd
{
    CrLf,
    Lf,
};

// Every line end (CR LF, a lone CR, a lone LF) becomes lineEnd; nothing else changes. The one
// rule for text in memory; CrLfConvert keeps it for byte buffers.
[[nodiscard]] std::u16string normalizeLineEnds(std::u16string_view text,
                                               LineEnd lineEnd = LineEnd::CrLf);

// CR LF pairs to LF, for text whose line ends are CR LF already.
[[nodiscard]] inline std::u16string crLfToLf(std::u16string_view text)
{
    return normalizeLineEnds(text, LineEnd::Lf);
}

// The status a read shows for what CodeConvert found: "JIS", "EUC", ":CR", "EUC:LF"…; empty
// for Shift_JIS with CR LF line ends.
[[nodiscard]] std::string codeStatus(CodeConvertResult found);

} // namespace kestrova::io
