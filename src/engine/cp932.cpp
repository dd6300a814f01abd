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

constexpr char16_t kNoChar = 0xFFFF; // a noncharacter: glibc never decodes to it

struct Tables
{
    // Per BMP code point: bit 0 two columns, bits 1-3 word class, bit 4 has a form, bit 5 an
    // opening bracket.
    std::array<std::uint8_t, 0x10000> info{};
    std::array<std::uint16_t, 0x10000> encode{};
    std::array<char16_t, 0x100> decode1{};
    std::array<char16_t, 0x10000> decode2{}; // indexed by lead << 8 | trail
};

constexpr std::uint8_t kTwoColumns = InfoBits::kTwoColumns;
constexpr std::uint8_t kHasForm = InfoBits::kHasForm;
constexpr std::uint8_t kOpening = InfoBits::kOpening;

class Iconv
{
public:
    Iconv(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {
    }
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

    // Converts as much as it can; stops at the first sequence it cannot convert.
    void convertSome(const char* in, std::size_t inLen, char* out, std::size_t outCap,
                     std::size_t& taken, std::size_t& outLen)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        std::size_t inLeft = inLen;
        std::size_t outLeft = outCap;
        iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        taken = inLen - inLeft;
        outLen = outCap - outLeft;
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

// Reads every two-byte code of one lead byte in a single pass of the converter; a code it
// refuses is skipped and the pass goes on after it.
void decodeRow(Iconv& cd, std::uint8_t lead, Tables& t, std::vector<char32_t>& decoded)
{
    std::vector<char> in;
    std::vector<int> trails;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F)
            continue;
        in.push_back(static_cast<char>(lead));
        in.push_back(static_cast<char>(trail));
        trails.push_back(trail);
    }
    std::size_t at = 0; // index into trails
    while (at < trails.size()) {
        std::array<char, 4 * 200> out{};
        std::size_t outLen = 0;
        std::size_t taken = 0;
        cd.convertSome(in.data() + 2 * at, 2 * (trails.size() - at), out.data(), out.size(), taken,
                       outLen);
        const auto* u = reinterpret_cast<const unsigned char*>(out.data());
        for (std::size_t k = 0; k < outLen / 4; ++k) {
            const char32_t cp = (char32_t(u[4 * k]) << 24) | (char32_t(u[4 * k + 1]) << 16) |
                                (char32_t(u[4 * k + 2]) << 8) | u[4 * k + 3];
            if (cp < 0x10000) {
                t.decode2[lead << 8 | trails[at + k]] = static_cast<char16_t>(cp);
                decoded.push_back(cp);
            }
        }
        at += taken / 2;
        if (at < trails.size() && taken / 2 == outLen / 4)
            ++at; // the converter stopped at a code it cannot read
    }
}

// Writes every decoded character in one pass; the lead byte tells a two-byte form.
void encodeAll(Iconv& cd, const std::vector<char32_t>& chars, Tables& t)
{
    std::vector<char> in;
    in.reserve(chars.size() * 4);
    for (char32_t cp : chars) {
        in.push_back(static_cast<char>(cp >> 24));
        in.push_back(static_cast<char>(cp >> 16));
        in.push_back(static_cast<char>(cp >> 8));
        in.push_back(static_cast<char>(cp));
    }
    std::vector<char> out(chars.size() * 2 + 16);
    std::size_t at = 0; // index into chars
    while (at < chars.size()) {
        std::size_t taken = 0, outLen = 0;
        cd.convertSome(in.data() + 4 * at, 4 * (chars.size() - at), out.data(), out.size(), taken,
                       outLen);
        const auto* b = reinterpret_cast<const unsigned char*>(out.data());
        std::size_t k = at;
        for (std::size_t i = 0; i < outLen; ++k) {
            const char32_t cp = chars[k];
            const bool two = isLeadByte(b[i]);
            const auto code = static_cast<std::uint16_t>(two ? b[i] << 8 | b[i + 1] : b[i]);
            i += two ? 2 : 1;
            const char16_t back = two ? t.decode2[code] : t.decode1[code];
            if (back != cp || (t.info[cp] & kHasForm))
                continue;
            t.encode[cp] = code;
            t.info[cp] = static_cast<std::uint8_t>(kHasForm | (two ? kTwoColumns : 0));
        }
        at += taken / 4;
        if (at < chars.size() && k == at)
            ++at; // a character the converter cannot write has no form
    }
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
        decodeRow(decoder, static_cast<std::uint8_t>(lead), *t, decoded);
    }

    // A character has a form only when writing it and reading the bytes back gives the same
    // character: U+00A5 or U+2014, which glibc writes but reads back as another, have none.
    encodeAll(encoder, decoded, *t);

    for (const auto& [variant, counterpart] : kJisVariants) {
        t->encode[variant] = t->encode[counterpart];
        t->info[variant] = t->info[counterpart];
    }

    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (!(t->info[cp] & kHasForm) && eastAsianWide(cp))
            t->info[cp] |= kTwoColumns;
    }

    // Word classes; the variants are classified like their counterparts.
    const auto setClass = [&](char32_t cp, int cls) {
        t->info[cp] = static_cast<std::uint8_t>((t->info[cp] & ~0x0E) | (cls << 1));
    };
    const auto setListed = [&](char32_t cp) { setClass(cp, wordClassOfListedChar(cp)); };
    for (std::u16string_view list : {kSmallKanaList, kProlongedMarkList, kStopList,
                                     kFullWidthSymbolList, kHalfWidthSymbolList}) {
        for (char16_t c : list)
            setListed(c);
    }
    for (char32_t cp = U'0'; cp <= U'z'; ++cp)
        setListed(cp);
    for (char32_t cp = U'０'; cp <= U'ｚ'; ++cp)
        setListed(cp);
    for (const auto& [variant, counterpart] : kJisVariants)
        setClass(variant, wordClassOfListedChar(counterpart));
    for (std::size_t i = 0; i < kBracketList.size(); i += 2)
        t->info[kBracketList[i]] |= kOpening;
    return t;
}

const Tables& tables()
{
    static const std::unique_ptr<Tables> built = buildTables();
    return *built;
}

} // namespace

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
    std::u16string out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const std::size_t at = i;
        const std::uint8_t b = in[i];
        char16_t c;
        if (b < 0x80) {
            c = b;
            ++i;
        } else if (isLeadByte(b) && i + 1 < n) {
            c = t.decode2[b << 8 | in[i + 1]];
            i += 2;
        } else {
            c = t.decode1[b];
            ++i;
        }
        if (c == kNoChar) {
            if (badAt)
                *badAt = at;
            return std::nullopt;
        }
        *o++ = c;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

const std::uint8_t* bmpInfoTable() { return tables().info.data(); }

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

} // namespace kestrova::engine
