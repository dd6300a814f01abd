#include "io/textcodec.h"

#include "engine/cp932.h"
#include "io/badbytes.h"
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
    const ByteScan scan = scanBytes(raw);
    if (scan.brokenUtf8)
        prepared.fault = badBytesReason(lineOfOffset(raw, *scan.brokenUtf8),
                                        {static_cast<std::uint8_t>(raw[*scan.brokenUtf8])});
    else
        shiftJisReason = shiftJisFault(raw);
    const CodeConvertResult found = decodeConvertResult(CodeConvert(bytes, kTargetSjis));
    prepared.family = found.family;
    if (prepared.fault.empty() && found.family == CodeFamily::Sjis && shiftJisReason) {
        prepared.fault = std::move(*shiftJisReason);
    } else if (prepared.fault.empty() && found.family != CodeFamily::Sjis) {
        const std::string_view converted(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        DamageScan damage(found.family == CodeFamily::Euc, scan.held);
        damage.read(converted);
        prepared.fault = damage.loose.value_or(std::string());
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

std::optional<std::string> cutOffUtf8Reason(std::string_view bytes, const ScanProgress& passed)
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
    if (end - lead >= announced)
        return std::nullopt;
    // Valid UTF-8 up to there, with a character of more than one byte somewhere: looked at a
    // piece at a time, each ending before a character's first byte, so that the caller can let
    // go of a mapped input behind the pass.
    bool multiByte = false;
    for (std::size_t from = 0; from < lead;) {
        std::size_t to = std::min(lead, from + Every::kBytes);
        while (to < lead && (s[to] & 0xC0) == 0x80)
            ++to;
        const std::string_view piece = bytes.substr(from, to - from);
        if (isUtf8Text(piece))
            multiByte = true;
        else if (!std::all_of(piece.begin(), piece.end(),
                              [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            return std::nullopt;
        if (passed)
            passed(to);
        from = to;
    }
    if (!multiByte)
        return std::nullopt;
    return badBytesReason(lineOfOffset(bytes, lead, passed), bytes.substr(lead, end - lead));
}

std::optional<std::string> damagedJisReason(std::string_view input, const PreparedText& prepared)
{
    if (prepared.utf8 || prepared.family == CodeFamily::Sjis)
        return std::nullopt;
    ByteSet held{};
    for (const char c : input)
        held[static_cast<unsigned char>(c)] = true;
    DamageScan damage(prepared.family == CodeFamily::Euc, held);
    damage.read(std::string_view(reinterpret_cast<const char*>(prepared.bytes.data()),
                                 prepared.bytes.size()));
    return damage.strict;
}

} // namespace kestrova::io
