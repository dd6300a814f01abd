#include "io/badbytes.h"

#include "engine/cp932.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"

#include <cstdio>

namespace kestrova::io {
namespace {

const std::uint8_t* bytesOf(std::string_view bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

bool isCp932Byte(std::uint8_t b) { return b < 0x80 || engine::cp932Char(b); }

} // namespace

std::size_t lineOfOffset(std::string_view bytes, std::size_t offset, const ScanProgress& passed)
{
    Every every(passed);
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        every.at(i);
        if (bytes[i] == '\n' ||
            (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

std::string badBytesReason(std::size_t line, std::string_view bytes)
{
    std::string reason = "line " + std::to_string(line);
    if (bytes.empty())
        return reason + " holds bytes that are not characters of UTF-8, JIS, EUC-JP or Shift_JIS";
    reason += bytes.size() > 1 ? ": bytes" : ": byte";
    for (const std::uint8_t b : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " 0x%02X", b);
        reason += hex;
    }
    return reason + (bytes.size() > 1 ? " are" : " is") +
           " not a character of UTF-8, JIS, EUC-JP or Shift_JIS";
}

std::string badBytesReason(std::size_t line, std::initializer_list<std::uint8_t> bytes)
{
    const std::string held(bytes.begin(), bytes.end());
    return badBytesReason(line, std::string_view(held));
}

ByteScan scanBytes(std::string_view input, const ScanProgress& passed)
{
    ByteScan scan;
    const std::uint8_t* s = bytesOf(input);
    const std::size_t n = input.size();
    std::size_t multiByte = 0, invalid = 0;
    std::optional<std::size_t> first;
    Every every(passed);
    for (std::size_t i = 0; i < n;) {
        every.at(i);
        scan.held[s[i]] = true;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(s + i, n - i);
        if (length == 0) {
            first = first ? first : i;
            ++invalid;
            ++i;
            continue;
        }
        for (std::size_t k = 1; k < length; ++k)
            scan.held[s[i + k]] = true;
        ++multiByte;
        i += length;
    }
    if (first && (input.substr(0, 3) == kByteOrderMark || (multiByte > 0 && multiByte >= invalid)))
        scan.brokenUtf8 = first;
    return scan;
}

std::optional<std::string> shiftJisFault(std::string_view input, const ScanProgress& passed)
{
    const std::uint8_t* s = bytesOf(input);
    const std::size_t n = input.size();
    const auto at = [&](std::size_t i, std::initializer_list<std::uint8_t> bytes) {
        return badBytesReason(lineOfOffset(input, i, passed), bytes);
    };
    Every every(passed);
    for (std::size_t i = 0; i < n;) {
        every.at(i);
        const std::uint8_t b = s[i];
        if (b < 0x80 || (b >= 0xA0 && b <= 0xDF)) {
            if (!isCp932Byte(b))
                return at(i, {b});
            ++i;
            continue;
        }
        // A lead byte waits for its trail; the bytes in between are written first.
        std::size_t j = i + 1;
        for (; j < n && !jiscodes::isSjisTrail(s[j]); ++j) {
            if (!isCp932Byte(s[j]))
                return at(j, {s[j]});
        }
        if (j == n)
            return std::nullopt; // a lead byte left at the end is dropped
        if (!engine::isLeadByte(b))
            return at(i, {b});
        if (!engine::cp932Char(static_cast<std::uint16_t>(b << 8 | s[j])))
            return at(i, {b, s[j]});
        i = j + 1;
    }
    return std::nullopt;
}

void DamageScan::read(std::string_view converted)
{
    const std::uint8_t* s = bytesOf(converted);
    const std::size_t n = converted.size();
    for (std::size_t i = 0; i < n && !loose;) {
        const std::uint8_t b = s[i];
        if (engine::isLeadByte(b) && i + 1 < n) {
            const std::uint8_t t = s[i + 1];
            const auto character = engine::cp932Char(static_cast<std::uint16_t>(b << 8 | t));
            if (!character || !fitsJisRows(engine::cp932Code(*character).value_or(0xFFFF)))
                found(!character, pairReason(b, t));
            i += 2;
            continue;
        }
        if (!isCp932Byte(b) || (!m_euc && b == kEsc)) {
            // JIS reading raises the bytes of a katakana run by 0x80.
            const bool katakana = !m_euc && b >= 0xA0 && b <= 0xDF && m_held[b - 0x80];
            const auto own = static_cast<std::uint8_t>(katakana ? b - 0x80 : b);
            found(!isCp932Byte(b),
                  m_held[own] ? badBytesReason(m_line, {own}) : badBytesReason(m_line, {}));
        }
        // The converters end every line with CR LF, so no line feed is ever read as a trail
        // byte: the line feeds read here count the lines.
        if (b == '\n')
            ++m_line;
        ++i;
    }
}

void DamageScan::found(bool isLoose, std::string reason)
{
    if (isLoose)
        loose = reason;
    if (!strict)
        strict = std::move(reason);
}

std::string DamageScan::pairReason(std::uint8_t lead, std::uint8_t trail) const
{
    const auto [row, cell] = jiscodes::sjisToJisPair(lead, trail);
    const int high = m_euc ? 0x80 : 0;
    const auto first = static_cast<std::uint8_t>((row | high) & 0xFF);
    const auto second = static_cast<std::uint8_t>((cell | high) & 0xFF);
    if (m_held[first] && m_held[second])
        return badBytesReason(m_line, {first, second});
    return badBytesReason(m_line, {});
}

} // namespace kestrova::io
