#include "engine/cp932.h"

#include "engine/charlists.h"

#include <array>
#include <iconv.h>
#include <memory>
#include <stdexcept>
#include <unicode/uchar.h>
#include <vector>

namespace kestrova::engine {
namespace {

constexpr char16_t kNoChar = 0xFFFF;  // a noncharacter: glibc never decodes to it

struct Tables
{
    // Per BMP code point: bit 0 two columns, bits 1-3 word class, bit 4 has a form, bit 5 an
    // opening bracket.
    std::array<std::uint8_t, 0x10000> info{};
    std::array<std::uint16_t, 0x10000> encode{};
    std::array<char16_t, 0x100> decode1{};
    std::array<char16_t, 0x10000> decode2{};  // indexed by lead << 8 | trail
};

constexpr std::uint8_t kTwoColumns = 1;
constexpr std::uint8_t kHasForm = 16;
constexpr std::uint8_t kOpening = 32;

class Iconv
{
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole input or nothing; the conversion state is reset each time.
    bool convert(const char* in, std::size_t inLen, char* out, std::size_t outCap,
                 std::size_t& outLen)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        std::size_t inLeft = inLen;
        std::size_t outLeft = outCap;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        if (inLeft != 0)
            return false;
        outLen = outCap - outLeft;
        return true;
    }

private:
    iconv_t m_cd;
};

bool decodeWithIconv(Iconv& cd, const char* bytes, std::size_t n, char32_t& cp)
{
    std::array<char, 16> out{};
    std::size_t outLen = 0;
    if (!cd.convert(bytes, n, out.data(), out.size(), outLen) || outLen != 4)
        return false;
    const auto* u = reinterpret_cast<const unsigned char*>(out.data());
    cp = (char32_t(u[0]) << 24) | (char32_t(u[1]) << 16) | (char32_t(u[2]) << 8) | u[3];
    return true;
}

bool encodeWithIconv(Iconv& cd, char32_t cp, std::uint16_t& code, int& len)
{
    const std::array<char, 4> in{static_cast<char>(cp >> 24), static_cast<char>(cp >> 16),
                                 static_cast<char>(cp >> 8), static_cast<char>(cp)};
    std::array<char, 8> out{};
    std::size_t outLen = 0;
    if (!cd.convert(in.data(), in.size(), out.data(), out.size(), outLen))
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(out.data());
    if (outLen == 1) {
        code = b[0];
    } else if (outLen == 2) {
        code = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
    } else {
        return false;
    }
    len = static_cast<int>(outLen);
    return true;
}

bool eastAsianWide(char32_t cp)
{
    const int eaw = u_getIntPropertyValue(static_cast<UChar32>(cp), UCHAR_EAST_ASIAN_WIDTH);
    return eaw == U_EA_WIDE || eaw == U_EA_FULLWIDTH;
}

std::unique_ptr<Tables> buildTables()
{
    auto t = std::make_unique<Tables>();
    t->decode1.fill(kNoChar);
    t->decode2.fill(kNoChar);

    Iconv decoder("UTF-32BE", "CP932");
    Iconv encoder("CP932", "UTF-32BE");
    if (!decoder.ok() || !encoder.ok())
        throw std::runtime_error("the system's converter has no CP932");

    // Every code the converter can read; a character read from several codes (the NEC and
    // IBM duplicates) takes the one form the converter writes for it.
    std::vector<char32_t> decoded;
    for (int b = 0; b < 0x100; ++b) {
        if (isLeadByte(static_cast<std::uint8_t>(b)))
            continue;
        const char byte = static_cast<char>(b);
        char32_t cp = 0;
        if (decodeWithIconv(decoder, &byte, 1, cp) && cp < 0x10000) {
            t->decode1[b] = static_cast<char16_t>(cp);
            decoded.push_back(cp);
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<std::uint8_t>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::array<char, 2> pair{static_cast<char>(lead), static_cast<char>(trail)};
            char32_t cp = 0;
            if (decodeWithIconv(decoder, pair.data(), 2, cp) && cp < 0x10000) {
                t->decode2[lead << 8 | trail] = static_cast<char16_t>(cp);
                decoded.push_back(cp);
            }
        }
    }

    // A character has a form only when writing it and reading the bytes back gives the same
    // character: U+00A5 or U+2014, which glibc writes but reads back as another, have none.
    for (char32_t cp : decoded) {
        if (t->info[cp] & kHasForm)
            continue;
        std::uint16_t code = 0;
        int len = 0;
        if (!encodeWithIconv(encoder, cp, code, len))
            continue;
        const char16_t back = len == 1 ? t->decode1[code] : t->decode2[code];
        if (back != cp)
            continue;
        t->encode[cp] = code;
        t->info[cp] = static_cast<std::uint8_t>(kHasForm | (len == 2 ? kTwoColumns : 0));
    }

    for (const auto& [variant, counterpart] : kJisVariants) {
        t->encode[variant] = t->encode[counterpart];
        t->info[variant] = t->info[counterpart];
    }

    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (!(t->info[cp] & kHasForm) && eastAsianWide(cp))
            t->info[cp] |= kTwoColumns;
    }

    // Word classes, after the variants took their counterparts' forms so that they are
    // classified alike.
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        char32_t classified = cp;
        for (const auto& [variant, counterpart] : kJisVariants) {
            if (variant == cp)
                classified = counterpart;
        }
        const int cls = wordClassOfListedChar(classified);
        t->info[cp] = static_cast<std::uint8_t>((t->info[cp] & ~0x0E) | (cls << 1));
    }
    for (std::size_t i = 0; i < kBracketList.size(); i += 2)
        t->info[kBracketList[i]] |= kOpening;
    return t;
}

const Tables& tables()
{
    static const std::unique_ptr<Tables> built = buildTables();
    return *built;
}

}  // namespace

CharInfo charInfo(char32_t cp)
{
    if (cp < 0x10000) {
        const std::uint8_t bits = tables().info[cp];
        return CharInfo{static_cast<std::uint8_t>(bits & kTwoColumns ? 2 : 1),
                        static_cast<std::uint8_t>((bits >> 1) & 7), (bits & kHasForm) != 0,
                        (bits & kOpening) != 0};
    }
    return CharInfo{static_cast<std::uint8_t>(eastAsianWide(cp) ? 2 : 1), kClassOther, false,
                    false};
}

int charWidth(char32_t cp)
{
    if (cp < 0x10000)
        return (tables().info[cp] & kTwoColumns) ? 2 : 1;
    return eastAsianWide(cp) ? 2 : 1;
}

std::optional<std::uint16_t> cp932Code(char32_t cp)
{
    if (cp >= 0x10000)
        return std::nullopt;
    const Tables& t = tables();
    if (!(t.info[cp] & kHasForm))
        return std::nullopt;
    return t.encode[cp];
}

std::optional<char32_t> cp932Char(std::uint16_t code)
{
    const Tables& t = tables();
    const char16_t c = code < 0x100 ? t.decode1[code] : t.decode2[code];
    if (c == kNoChar)
        return std::nullopt;
    return c;
}

void appendCodePoint(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::optional<std::string> toCp932(std::u16string_view text, std::size_t* unmappedAt)
{
    const Tables& t = tables();
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const char32_t cp = nextCodePoint(text, i);
        if (cp >= 0x10000 || !(t.info[cp] & kHasForm)) {
            if (unmappedAt)
                *unmappedAt = at;
            return std::nullopt;
        }
        const std::uint16_t code = t.encode[cp];
        if (t.info[cp] & kTwoColumns)
            out.push_back(static_cast<char>(code >> 8));
        out.push_back(static_cast<char>(code & 0xFF));
    }
    return out;
}

std::optional<std::u16string> fromCp932(std::string_view bytes, std::size_t* badAt)
{
    const Tables& t = tables();
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        char16_t c = kNoChar;
        std::size_t len = 1;
        if (isLeadByte(b)) {
            if (i + 1 < bytes.size()) {
                c = t.decode2[b << 8 | static_cast<std::uint8_t>(bytes[i + 1])];
                len = 2;
            }
        } else {
            c = t.decode1[b];
        }
        if (c == kNoChar) {
            if (badAt)
                *badAt = i;
            return std::nullopt;
        }
        out.push_back(c);
        i += len;
    }
    return out;
}

std::size_t textWidth(std::u16string_view text)
{
    const Tables& t = tables();
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char16_t u = text[i];
        if (u < 0xD800 || u > 0xDFFF) {
            width += 1 + (t.info[u] & kTwoColumns);
            ++i;
        } else {
            width += static_cast<std::size_t>(charWidth(nextCodePoint(text, i)));
        }
    }
    return width;
}

}  // namespace kestrova::engine
