// Writes the code page 932 tables of the engine as C++ source: the decode, encode, width and
// class tables and the wide ranges beyond the Basic Multilingual Plane. The mapping comes from
// the system's converter (iconv "CP932") and the widths from ICU, here at build time, so that
// the programs need neither at run time.
//
// Usage: kestrova-cp932gen OUTPUT.cpp
#include "engine/charlists.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iconv.h>
#include <memory>
#include <sstream>
#include <string>
#include <unicode/uchar.h>
#include <vector>

namespace {

using kestrova::engine::kJisVariants;

constexpr char16_t kNoChar = 0xFFFF; // a noncharacter: glibc never decodes to it
constexpr std::uint8_t kTwoColumns = 1;
constexpr std::uint8_t kHasForm = 16;
constexpr std::uint8_t kOpening = 32;

constexpr bool isLeadByte(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

struct Tables
{
    // Per BMP code point: bit 0 two columns, bits 1-3 word class, bit 4 has a form, bit 5 an
    // opening bracket.
    std::array<std::uint8_t, 0x10000> info{};
    std::array<std::uint16_t, 0x10000> encode{};
    std::array<char16_t, 0x100> decode1{};
    std::array<char16_t, 0x10000> decode2{};         // indexed by lead << 8 | trail
    std::vector<std::pair<char32_t, char32_t>> wide; // beyond the BMP, first and last
};

class Iconv
{
public:
    Iconv(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {
    }
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

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

char32_t utf32At(const char* out, std::size_t k)
{
    const auto* u = reinterpret_cast<const unsigned char*>(out) + 4 * k;
    return (char32_t(u[0]) << 24) | (char32_t(u[1]) << 16) | (char32_t(u[2]) << 8) | u[3];
}

bool decodeByte(Iconv& cd, int b, char32_t& cp)
{
    const char byte = static_cast<char>(b);
    std::array<char, 16> out{};
    std::size_t taken = 0, outLen = 0;
    cd.convertSome(&byte, 1, out.data(), out.size(), taken, outLen);
    if (taken != 1 || outLen != 4)
        return false;
    cp = utf32At(out.data(), 0);
    return true;
}

// Reads every two-byte code of one lead byte in a single pass of the converter; a code it
// refuses is skipped and the pass goes on after it.
void decodeRow(Iconv& cd, int lead, Tables& t, std::vector<char32_t>& decoded)
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
        std::size_t outLen = 0, taken = 0;
        cd.convertSome(in.data() + 2 * at, 2 * (trails.size() - at), out.data(), out.size(), taken,
                       outLen);
        for (std::size_t k = 0; k < outLen / 4; ++k) {
            const char32_t cp = utf32At(out.data(), k);
            if (cp < 0x10000) {
                t.decode2[static_cast<std::size_t>(lead << 8 | trails[at + k])] =
                    static_cast<char16_t>(cp);
                decoded.push_back(cp);
            }
        }
        at += taken / 2;
        if (at < trails.size() && taken / 2 == outLen / 4)
            ++at; // the converter stopped at a code it cannot read
    }
}

// Writes every decoded character in one pass; the lead byte tells a two-byte form. A character
// has a form only when writing it and reading the bytes back gives the same character: U+00A5
// or U+2014, which glibc writes but reads back as another, have none.
void encodeAll(Iconv& cd, const std::vector<char32_t>& chars, Tables& t)
{
    std::vector<char> in;
    in.reserve(chars.size() * 4);
    for (char32_t cp : chars) {
        for (int shift = 24; shift >= 0; shift -= 8)
            in.push_back(static_cast<char>(cp >> shift));
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

bool buildTables(Tables& t)
{
    t.decode1.fill(kNoChar);
    t.decode2.fill(kNoChar);
    Iconv decoder("UTF-32BE", "CP932");
    Iconv encoder("CP932", "UTF-32BE");
    if (!decoder.ok() || !encoder.ok())
        return false;

    // Every code the converter can read; a character read from several codes (the NEC and
    // IBM duplicates) takes the one form the converter writes for it.
    std::vector<char32_t> decoded;
    for (int b = 0; b < 0x100; ++b) {
        char32_t cp = 0;
        if (!isLeadByte(b) && decodeByte(decoder, b, cp) && cp < 0x10000) {
            t.decode1[static_cast<std::size_t>(b)] = static_cast<char16_t>(cp);
            decoded.push_back(cp);
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (isLeadByte(lead))
            decodeRow(decoder, lead, t, decoded);
    }
    encodeAll(encoder, decoded, t);

    for (const auto& [variant, counterpart] : kJisVariants) {
        t.encode[variant] = t.encode[counterpart];
        t.info[variant] = t.info[counterpart];
    }
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (!(t.info[cp] & kHasForm) && eastAsianWide(cp))
            t.info[cp] |= kTwoColumns;
    }

    // Word classes; the variants are classified like their counterparts.
    using kestrova::engine::wordClassOfListedChar;
    const auto setClass = [&](char32_t cp, int cls) {
        t.info[cp] = static_cast<std::uint8_t>((t.info[cp] & ~0x0E) | (cls << 1));
    };
    const auto setListed = [&](char32_t cp) { setClass(cp, wordClassOfListedChar(cp)); };
    using namespace kestrova::engine;
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
        t.info[kBracketList[i]] |= kOpening;

    for (char32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) {
        if (!eastAsianWide(cp))
            continue;
        if (!t.wide.empty() && t.wide.back().second + 1 == cp)
            t.wide.back().second = cp;
        else
            t.wide.emplace_back(cp, cp);
    }
    return true;
}

template <typename Array>
void writeArray(std::ostream& os, const char* type, const char* name, const Array& values)
{
    os << "alignas(64) const " << type << " " << name << "[" << values.size() << "] = {";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % 16 == 0)
            os << "\n";
        os << static_cast<unsigned>(values[i]) << ",";
    }
    os << "\n};\n\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: kestrova-cp932gen OUTPUT.cpp\n", stderr);
        return 2;
    }
    auto t = std::make_unique<Tables>();
    if (!buildTables(*t)) {
        std::fputs("kestrova-cp932gen: the system's converter has no CP932\n", stderr);
        return 1;
    }
    std::ostringstream os;
    os << "// Made by kestrova-cp932gen from the system's converter and ICU; do not edit.\n"
          "#include \"engine/cp932.h\"\n\n"
          "namespace kestrova::engine::cp932_tables {\n\n";
    writeArray(os, "std::uint8_t", "kInfo", t->info);
    writeArray(os, "std::uint16_t", "kEncode", t->encode);
    writeArray(os, "char16_t", "kDecode1", t->decode1);
    writeArray(os, "char16_t", "kDecode2", t->decode2);
    os << "const WideRange kWideRanges[" << t->wide.size() << "] = {\n";
    for (const auto& [first, last] : t->wide)
        os << "{" << static_cast<unsigned>(first) << "," << static_cast<unsigned>(last) << "},\n";
    os << "};\nconst std::size_t kWideRangeCount = " << t->wide.size() << ";\n\n"
       << "} // namespace kestrova::engine::cp932_tables\n";

    // Written only when it changed, so that a rebuild compiles nothing new.
    const std::string text = os.str();
    {
        std::ifstream old(argv[1], std::ios::binary);
        std::ostringstream had;
        had << old.rdbuf();
        if (old && had.str() == text)
            return 0;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "kestrova-cp932gen: cannot write '%s'\n", argv[1]);
        return 1;
    }
    return 0;
}
