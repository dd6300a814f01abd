#include "io/textcodec.h"

#include "engine/cp932.h"
#include "io/jis2sjis.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>

namespace kestrova::io {

std::size_t utf8SequenceLength(const unsigned char* s, std::size_t left)
{
    const unsigned char b = s[0];
    if (b < 0x80)
        return 1;
    std::size_t len = 0;
    char32_t min = 0;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        min = 0x80;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        min = 0x800;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        min = 0x10000;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

namespace {

// The line that byte offset lies on, counting CR LF, a lone CR and a lone LF as line ends, as
// the input has them.
std::size_t lineOfOffset(std::string_view bytes, std::size_t offset)
{
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

// "line 3: byte 0xA0 is not ...", "line 2: bytes 0xA9 0xA1 are not ...", or, with no bytes,
// "line 4 holds bytes that are not ...".
std::string badBytesReason(std::size_t line, std::initializer_list<unsigned char> bytes)
{
    std::string reason = "line " + std::to_string(line);
    if (bytes.size() == 0)
        return reason + " holds bytes that are not characters of UTF-8, JIS, EUC-JP or Shift_JIS";
    reason += bytes.size() > 1 ? ": bytes" : ": byte";
    for (unsigned char b : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02X", b);
        reason += hex;
    }
    return reason + (bytes.size() > 1 ? " are" : " is") +
           " not a character of UTF-8, JIS, EUC-JP or Shift_JIS";
}

bool isCp932Byte(unsigned char b) { return b < 0x80 || engine::cp932Char(b); }

std::string codePointName(char32_t cp)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
    return buffer;
}

const char* codeName(OutputCode code)
{
    switch (code) {
    case OutputCode::Sjis:
        return "Shift_JIS";
    case OutputCode::Jis:
        return "ISO-2022-JP";
    case OutputCode::Euc:
        return "EUC-JP";
    case OutputCode::Utf8:
        break;
    }
    return "UTF-8";
}

ByteBuffer toBuffer(std::string_view bytes) { return ByteBuffer(bytes.begin(), bytes.end()); }

std::string toString(const ByteBuffer& buffer) { return std::string(buffer.begin(), buffer.end()); }

// Input that is no valid UTF-8 but reads as UTF-8 with faults rather than as a Japanese code:
// it begins with a byte-order mark, or its valid multi-byte sequences are at least as many as
// its invalid ones. Then the first invalid sequence is the fault to name.
std::optional<std::size_t> brokenUtf8At(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t multiByte = 0, invalid = 0;
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceLength(s + i, n - i);
        if (len == 0) {
            if (!first)
                first = i;
            ++invalid;
            ++i;
        } else {
            ++multiByte;
            i += len;
        }
    }
    const bool byteOrderMark = bytes.substr(0, 3) == kByteOrderMark;
    if (first && (byteOrderMark || (multiByte > 0 && multiByte >= invalid)))
        return first;
    return std::nullopt;
}

// The first character of Shift_JIS input that decodes to nothing once SjisToSjis has rejoined
// characters split by other bytes, named by the input's own bytes and line.
std::optional<std::string> shiftJisFault(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const auto isTrail = [](unsigned char b) {
        return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    };
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80 || (b >= 0xA0 && b <= 0xDF)) {
            if (!isCp932Byte(b))
                return badBytesReason(lineOfOffset(bytes, i), {b});
            ++i;
            continue;
        }
        // A lead byte waits for its trail; the bytes in between are written first.
        std::size_t j = i + 1;
        for (; j < n && !isTrail(s[j]); ++j) {
            if (!isCp932Byte(s[j]))
                return badBytesReason(lineOfOffset(bytes, j), {s[j]});
        }
        if (j == n)
            return std::nullopt; // a lead byte left at the end is dropped
        if (!engine::isLeadByte(b))
            return badBytesReason(lineOfOffset(bytes, i), {b});
        if (!engine::cp932Char(static_cast<std::uint16_t>(b << 8 | s[j])))
            return badBytesReason(lineOfOffset(bytes, i), {b, s[j]});
        i = j + 1;
    }
    return std::nullopt;
}

// Which byte values the input holds.
using ByteSet = std::array<bool, 256>;

// The first character of JIS or EUC-JP input, converted to Shift_JIS, that decodes to nothing,
// named by the bytes the input holds for it: the Shift_JIS arithmetic undone. Converting keeps
// every line end, so its line is the line of the input. Damaged input can make bytes of its own
// through that arithmetic; then only the line is named, never a byte the input does not hold.
std::optional<std::string> convertedFault(std::string_view converted, bool euc, const ByteSet& held,
                                          bool strict = false)
{
    const auto* s = reinterpret_cast<const unsigned char*>(converted.data());
    const std::size_t n = converted.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        const auto line = [&] { return lineOfOffset(converted, i); };
        if (engine::isLeadByte(b) && i + 1 < n) {
            const unsigned char t = s[i + 1];
            const auto pair = static_cast<std::uint16_t>(b << 8 | t);
            if (!engine::cp932Char(pair) ||
                (strict &&
                 !fitsJisRows(engine::cp932Code(*engine::cp932Char(pair)).value_or(0xFFFF)))) {
                int row = 2 * (b < 0xA0 ? b - 0x71 : b - 0xB1) + 1;
                const int cell = t < 0x80 ? t - 0x1F : t < 0x9F ? t - 0x20 : t - 0x7E;
                if (t >= 0x9F)
                    ++row;
                const int high = euc ? 0x80 : 0;
                const auto first = static_cast<unsigned char>((row | high) & 0xFF);
                const auto second = static_cast<unsigned char>((cell | high) & 0xFF);
                if (held[first] && held[second])
                    return badBytesReason(line(), {first, second});
                return badBytesReason(line(), {});
            }
            i += 2;
            continue;
        }
        if (!isCp932Byte(b) || (strict && !euc && b == kEsc)) {
            // JIS reading raises the bytes of a katakana run by 0x80.
            const bool katakana = !euc && b >= 0xA0 && b <= 0xDF && held[b - 0x80];
            const auto own = static_cast<unsigned char>(katakana ? b - 0x80 : b);
            if (held[own])
                return badBytesReason(line(), {own});
            return badBytesReason(line(), {});
        }
        ++i;
    }
    return std::nullopt;
}

} // namespace

bool isUtf8Text(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    bool multiByte = bytes.substr(0, 3) == kByteOrderMark;
    for (std::size_t i = 0; i < n;) {
        i = asciiRunEnd(s, i, n);
        if (i == n)
            break;
        if (threeByteCharacter(s, i, n) != 0) {
            multiByte = true;
            i += 3;
            continue;
        }
        const std::size_t len = utf8SequenceLength(s + i, n - i);
        if (len == 0)
            return false;
        multiByte = true;
        i += len;
    }
    return multiByte;
}

namespace {

// UTF-16 of valid UTF-8, every character kept: a U+FEFF is a byte-order mark only at the very
// start of the input, which the callers skip themselves.
std::u16string utf8ToUtf16(std::string_view bytes)
{
    std::u16string out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceLength(s + i, n - i);
        if (len == 0) {
            *o++ = 0xFFFD; // callers check validity first; never stall
            ++i;
            continue;
        }
        o = putUtf16(o, nextUtf8(s, i));
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

} // namespace

std::u16string decodeUtf8(std::string_view bytes)
{
    if (bytes.substr(0, 3) == kByteOrderMark)
        bytes.remove_prefix(3);
    return utf8ToUtf16(bytes);
}

std::string encodeUtf8(std::u16string_view text)
{
    std::string out(text.size() * 3, '\0');
    char* o = out.data();
    const char16_t* s = text.data();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const char16_t u = s[i];
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            ++i;
            continue;
        }
        char32_t cp = u;
        ++i;
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
                cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i++]) - 0xDC00);
            else
                cp = 0xFFFD; // an unpaired surrogate has no UTF-8 form
        }
        o = putUtf8(o, cp);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::u16string normalizeLineEnds(std::u16string_view text, LineEnd lineEnd)
{
    const std::u16string_view end = lineEnd == LineEnd::CrLf ? u"\r\n" : u"\n";
    std::u16string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') {
            out.push_back(c);
            continue;
        }
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        out += end;
    }
    return out;
}

std::string codeStatus(CodeConvertResult found)
{
    std::string status;
    if (found.family == CodeFamily::Jis)
        status = "JIS";
    else if (found.family == CodeFamily::Euc)
        status = "EUC";
    if (found.lineEnds == LineEndKind::Cr)
        status += ":CR";
    else if (found.lineEnds == LineEndKind::Lf)
        status += ":LF";
    return status;
}

bool isPlainAscii(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    return asciiRunEnd(s, 0, bytes.size()) == bytes.size() &&
           detectCode(s, bytes.size()).family != CodeFamily::Jis;
}

Result<DecodedText> decodeText(std::string_view bytes, bool convMode, PlainAscii ascii)
{
    return decodeText(toBuffer(bytes), convMode, ascii);
}

PreparedText prepareText(ByteBuffer&& buffer, bool convMode, PlainAscii ascii)
{
    PreparedText prepared;
    prepared.bytes = std::move(buffer);
    ByteBuffer& bytes = prepared.bytes;
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool asUtf8 = isUtf8Text(raw) || (ascii == PlainAscii::AsUtf8 && isPlainAscii(raw));
    if (bytes.empty() && !asUtf8)
        return prepared;
    // An empty buffer may have no storage at all, which memchr must not be given.
    const bool hasCr = !bytes.empty() && std::memchr(bytes.data(), '\r', bytes.size()) != nullptr;
    const bool hasLf = !bytes.empty() && std::memchr(bytes.data(), '\n', bytes.size()) != nullptr;

    if (asUtf8) {
        // raw is not used past here: the conversion below may replace the buffer.
        const bool byteOrderMark = raw.substr(0, 3) == kByteOrderMark;
        // CR and LF bytes never occur inside a UTF-8 sequence, so the line ends can be
        // normalised on the bytes as for the other codes.
        const auto lineEnds = static_cast<LineEndKind>(CrLfConvert(bytes));
        if (!bytes.empty() && bytes.back() == kEndOfFile)
            bytes.pop_back();
        if (byteOrderMark)
            prepared.start = 3;
        prepared.utf8 = true;
        // A text without line ends gets this platform's own, LF, when lines are added to it.
        prepared.lfOnly = !hasCr;
        prepared.status = "UTF-8" + codeStatus({CodeFamily::Sjis, lineEnds});
        return prepared;
    }
    if (!convMode)
        return prepared; // taken as Shift_JIS as it is: decodePiece names the byte itself

    // Bytes that decode to nothing are named as the input has them, before converting
    // rewrites them: as broken UTF-8 where the input reads so, else in its Japanese code.
    std::optional<std::string> shiftJisReason;
    ByteSet held{};
    for (const char c : raw)
        held[static_cast<unsigned char>(c)] = true;
    if (const auto at = brokenUtf8At(raw))
        prepared.fault =
            badBytesReason(lineOfOffset(raw, *at), {static_cast<unsigned char>(raw[*at])});
    else
        shiftJisReason = shiftJisFault(raw);
    const CodeConvertResult found = decodeConvertResult(CodeConvert(bytes, kTargetSjis));
    prepared.family = found.family;
    if (prepared.fault.empty() && found.family == CodeFamily::Sjis && shiftJisReason) {
        prepared.fault = std::move(*shiftJisReason);
    } else if (prepared.fault.empty() && found.family != CodeFamily::Sjis) {
        const std::string_view converted(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        prepared.fault = convertedFault(converted, found.family == CodeFamily::Euc, held)
                             .value_or(std::string());
    }
    prepared.status = codeStatus(found);
    prepared.lfOnly = hasLf && !hasCr;
    return prepared;
}

Result<Done> decodePiece(const PreparedText& prepared, std::size_t from, std::size_t to,
                         std::u16string& out)
{
    const std::string_view all(reinterpret_cast<const char*>(prepared.bytes.data()),
                               prepared.bytes.size());
    const std::string_view piece = all.substr(from, to - from);
    if (prepared.utf8) {
        out += utf8ToUtf16(piece);
        return Done{};
    }
    std::size_t badAt = 0;
    auto text = engine::fromCp932(piece, &badAt);
    if (!text) {
        if (!prepared.fault.empty())
            return IoError{IoErrorKind::BadData, {}, prepared.fault};
        badAt += from;
        return IoError{
            IoErrorKind::BadData,
            {},
            badBytesReason(lineOfOffset(all, badAt), {static_cast<unsigned char>(all[badAt])})};
    }
    out += *text;
    return Done{};
}

Result<DecodedText> decodeText(ByteBuffer&& buffer, bool convMode, PlainAscii ascii)
{
    PreparedText prepared = prepareText(std::move(buffer), convMode, ascii);
    DecodedText decoded;
    if (auto done = decodePiece(prepared, prepared.start, prepared.bytes.size(), decoded.text);
        !done)
        return done.error();
    decoded.status = std::move(prepared.status);
    decoded.utf8 = prepared.utf8;
    decoded.lfOnly = prepared.lfOnly;
    decoded.family = prepared.family;
    return decoded;
}

Result<std::string> encodeText(std::u16string_view text, OutputCode code, bool crlf,
                               std::size_t firstLine)
{
    if (code == OutputCode::Utf8)
        return crlf ? encodeUtf8(text) : encodeUtf8(normalizeLineEnds(text, LineEnd::Lf));

    std::string bytes;
    bytes.reserve(text.size() * 2);
    std::size_t line = firstLine;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = engine::nextCodePoint(text, i);
        if (cp == U'\n')
            ++line;
        const auto form = engine::cp932Code(cp);
        if (!form || (code != OutputCode::Sjis && !fitsJisRows(*form))) {
            return IoError{IoErrorKind::BadData,
                           {},
                           "line " + std::to_string(line) + ": " + codePointName(cp) +
                               " has no form in " + codeName(code)};
        }
        if (*form > 0xFF)
            bytes.push_back(static_cast<char>(*form >> 8));
        bytes.push_back(static_cast<char>(*form & 0xFF));
    }
    if (code == OutputCode::Sjis || bytes.empty())
        return bytes;
    ByteBuffer buffer = toBuffer(bytes);
    if (code == OutputCode::Jis)
        SjisToJis(buffer);
    else
        SjisToEuc(buffer);
    return toString(buffer);
}

std::optional<std::string> cutOffUtf8Reason(std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t end = bytes.size();
    if (end > 0 && s[end - 1] == kEndOfFile)
        --end;
    while (end > 0 && (s[end - 1] == '\r' || s[end - 1] == '\n'))
        --end;
    // The last character's lead byte, at most three bytes back, and fewer continuation bytes
    // after it than it announces.
    std::size_t lead = end;
    while (lead > 0 && end - lead < 3 && (s[lead - 1] & 0xC0) == 0x80)
        --lead;
    if (lead == 0)
        return std::nullopt;
    --lead;
    const unsigned char b = s[lead];
    const std::size_t announced = b >= 0xC2 && b <= 0xDF   ? 2
                                  : b >= 0xE0 && b <= 0xEF ? 3
                                  : b >= 0xF0 && b <= 0xF4 ? 4
                                                           : 0;
    if (end - lead >= announced || !isUtf8Text(bytes.substr(0, lead)))
        return std::nullopt;
    std::string reason = "line " + std::to_string(lineOfOffset(bytes, lead));
    reason += end - lead > 1 ? ": bytes" : ": byte";
    for (std::size_t i = lead; i < end; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02X", s[i]);
        reason += hex;
    }
    return reason + (end - lead > 1 ? " are" : " is") +
           " not a character of UTF-8, JIS, EUC-JP or Shift_JIS";
}

std::optional<std::string> damagedJisReason(std::string_view input, const PreparedText& prepared)
{
    if (prepared.utf8 || prepared.family == CodeFamily::Sjis)
        return std::nullopt;
    ByteSet held{};
    for (const char c : input)
        held[static_cast<unsigned char>(c)] = true;
    const std::string_view converted(reinterpret_cast<const char*>(prepared.bytes.data()),
                                     prepared.bytes.size());
    return convertedFault(converted, prepared.family == CodeFamily::Euc, held, true);
}

} // namespace kestrova::io
