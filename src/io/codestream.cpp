#include "io/codestream.h"

#include "io/jiscodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kestrova::io {

using namespace jiscodes;

namespace {

constexpr std::size_t kNoEnd = SIZE_MAX; // more bytes follow than any reader looks for
constexpr std::size_t kWholePiece = std::size_t{1} << 16;

// How many bytes a Shift_JIS character takes by its first byte; 0 for a line end.
constexpr ByteTable kSjisWidth = [] {
    ByteTable widths{};
    for (int b = 0; b <= 0xFF; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        widths[static_cast<std::size_t>(b)] = byte == kCr || byte == kLf             ? 0
                                              : byte < 0x80 || isHalfWidthKana(byte) ? 1
                                                                                     : 2;
    }
    return widths;
}();

// Bytes of an EUC-JP pair in the rows of JIS X 0208.
constexpr ByteTable kEucRowOrCell = byteRange(0xA1, 0xFE);

// Bytes EUC-JP text copies as they are: ASCII but line ends.
constexpr ByteTable kEucCopied = [] {
    ByteTable copied{};
    for (int b = 0; b < 0x80; ++b)
        copied[static_cast<std::size_t>(b)] = b == kCr || b == kLf ? 0 : 1;
    return copied;
}();

// Bytes a JIS text in its one-byte state copies as they are: all but line ends and shifts.
constexpr ByteTable kJisCopied = [] {
    ByteTable copied{};
    copied.fill(1);
    for (const std::uint8_t b : {kCr, kLf, kEsc, kSo, kSi})
        copied[b] = 0;
    return copied;
}();

constexpr ByteTable kSjisTrail = [] {
    ByteTable trails{};
    for (int b = 0; b <= 0xFF; ++b)
        trails[static_cast<std::size_t>(b)] = isSjisTrail(static_cast<std::uint8_t>(b)) ? 1 : 0;
    return trails;
}();

// The converters CodeConvert chains for the code and the target.
CodeConvertStream::Chain codeConvertChain(CodeDetection code, int target)
{
    using Reader = CodeConvertStream::Reader;
    using Writer = CodeConvertStream::Writer;
    CodeConvertStream::Chain chain;
    chain.crLf = true;
    chain.dropEndOfFile = true;
    const Writer writer = target == kTargetJis   ? Writer::Jis
                          : target == kTargetEuc ? Writer::Euc
                                                 : Writer::Copy;
    const bool knownTarget = target >= kTargetSjis && target <= kTargetEuc;
    switch (code.family) {
    case CodeFamily::Jis:
        // A text that opens with its own designation is already JIS as we write it.
        if (knownTarget && !(code.jisDesignated && target == kTargetJis)) {
            chain.reader = Reader::Jis;
            chain.jisStart = code.jisStart;
            chain.writer = writer;
        }
        break;
    case CodeFamily::Euc:
        if (target == kTargetSjis || target == kTargetJis) {
            chain.reader = Reader::Euc;
            chain.writer = writer;
        }
        break;
    case CodeFamily::Sjis:
        chain.reader = target == kTargetSjis ? Reader::Sjis : Reader::Copy;
        chain.writer = writer;
        break;
    }
    return chain;
}

} // namespace

CodeConvertStream::CodeConvertStream(CodeDetection code, int target)
    : CodeConvertStream(codeConvertChain(code, target))
{
    m_family = code.family;
}

CodeConvertStream::CodeConvertStream(Chain chain)
    : m_reader(chain.reader)
    , m_writer(chain.writer)
    , m_crLf(chain.crLf)
    , m_dropEndOfFile(chain.dropEndOfFile)
    , m_shift(chain.jisStart)
{
    // The JIS reader treats an ESC with fewer than two bytes after it, and its last byte, in
    // their own ways; the EUC reader its last byte.
    m_hold = m_reader == Reader::Jis ? 2 : m_reader == Reader::Euc ? 1 : 0;
}

void CodeConvertStream::convertWhole(ByteBuffer& buffer)
{
    // In pieces, so that the room a piece could need is made once and stays small. Most text
    // comes out as it went in: while the output is the input's own bytes, nothing is copied.
    const std::string_view input(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    ByteBuffer converted;
    std::size_t at = 0;
    if (m_reader == Reader::Copy && m_writer == Writer::Copy && m_empty && input.size() > 1) {
        // Lines that end in CR LF leave a fresh stream as fresh as it was. The last byte still
        // goes through it, to end the input.
        at = readCopy<false>(buffer.data(), 0, input.size() - 1);
    }
    std::size_t same = at; // the output so far is input[0, same), while converted is empty
    bool unchanged = true;
    do {
        const std::string_view piece = input.substr(at, kWholePiece);
        at += piece.size();
        const std::string_view out = convert(piece, at == input.size(), input.size() - at);
        if (unchanged && out.size() <= input.size() - same &&
            (out.empty() || std::memcmp(out.data(), input.data() + same, out.size()) == 0)) {
            same += out.size();
            continue;
        }
        if (unchanged) {
            converted.reserve(input.size() + input.size() / (m_writer == Writer::Jis ? 4 : 16) +
                              out.size());
            converted.assign(buffer.data(), buffer.data() + same);
            unchanged = false;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(out.data());
        converted.insert(converted.end(), bytes, bytes + out.size());
    } while (at < input.size());
    if (unchanged)
        buffer.resize(same);
    else
        buffer.swap(converted);
}

bool CodeConvertStream::sameState(const CodeConvertStream& other) const
{
    return m_mode == other.m_mode && m_shift == other.m_shift &&
           (m_mode != Mode::LeadPending || m_lead == other.m_lead) &&
           m_writerShift == other.m_writerShift && m_writerLead == other.m_writerLead &&
           m_pendingCr == other.m_pendingCr && m_heldEndOfFile == other.m_heldEndOfFile &&
           m_carried == 0 && other.m_carried == 0;
}

std::string_view CodeConvertStream::convert(std::string_view piece, bool last,
                                            std::size_t following)
{
    const auto* in = reinterpret_cast<const std::uint8_t*>(piece.data());
    const std::size_t n = piece.size();
    m_empty = m_empty && n == 0;
    std::uint8_t* const begin = m_room.reserve(outputBound(n + m_carried));
    m_out = begin;
    if (m_heldEndOfFile) {
        *m_out++ = kEndOfFile;
        m_heldEndOfFile = false;
    }

    // When it is known how many bytes follow, every byte is read now.
    const bool known = last || following > 0;
    if (last)
        following = 0;
    const std::size_t total = m_carried + n;
    const std::size_t ready = known ? total : total > m_hold ? total - m_hold : 0;
    std::size_t p = 0;
    for (; p < m_carried && p < ready; ++p)
        readByte(m_carry[p], known ? total - p - 1 + following : kNoEnd);
    std::uint8_t keep[2];
    std::size_t kept = 0;
    for (std::size_t q = p; q < m_carried; ++q)
        keep[kept++] = m_carry[q];
    const std::size_t firstKept = ready > m_carried ? ready - m_carried : 0;
    read(in, firstKept, known ? n + following : kNoEnd);
    for (std::size_t i = firstKept; i < n; ++i)
        keep[kept++] = in[i];
    std::copy(keep, keep + kept, m_carry);
    m_carried = kept;

    if (last)
        finish();
    if (m_dropEndOfFile && m_out > begin && m_out[-1] == kEndOfFile) {
        --m_out;
        m_heldEndOfFile = !last;
    }
    return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(m_out - begin)};
}

// Reads in[0, to); end is where the input ends, counted from in, when that is known. The usual
// bytes take the short way of readPlain, everything else the automaton of readByte.
void CodeConvertStream::read(const std::uint8_t* in, std::size_t to, std::size_t end)
{
    std::size_t i = 0;
    while (i < to) {
        if (m_writer != Writer::Copy && m_mode == Mode::Text && !m_pendingCr && m_writerLead < 0) {
            i = m_reader == Reader::Copy ? writePlain(in, i, to) : readThenWrite(in, i, to);
            if (i == to)
                break;
        } else if (m_writer == Writer::Copy && m_mode == Mode::Text && !m_pendingCr) {
            i = readShortWay(in, i, to);
            if (i == to)
                break;
        }
        readByte(in[i], end == kNoEnd ? kNoEnd : end - i - 1);
        ++i;
    }
}

// The reader's short way from i on; returns where it stopped.
std::size_t CodeConvertStream::readShortWay(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    switch (m_reader) {
    case Reader::Copy:
        return readCopy<true>(in, i, to);
    case Reader::Sjis:
        return readPlain<Reader::Sjis>(in, i, to);
    case Reader::Jis:
        return readPlain<Reader::Jis>(in, i, to);
    case Reader::Euc:
        return readPlain<Reader::Euc>(in, i, to);
    }
    return i;
}

// Copies from i on up to the first line end that needs the automaton, a CR of its own. Lines
// that end in CR LF already are passed over and copied together. Without kWrite it only passes
// over them: it stops at the first byte the conversion would change.
template <bool kWrite>
std::size_t CodeConvertStream::readCopy(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    if (!m_crLf) {
        if (!kWrite)
            return i;
        std::memcpy(m_out, in + i, to - i);
        m_out += to - i;
        return to;
    }
    std::size_t start = i; // in[start, i) goes out as it is
    while (i < to) {
        const auto* lf = static_cast<const std::uint8_t*>(std::memchr(in + i, kLf, to - i));
        const std::size_t end = lf != nullptr ? static_cast<std::size_t>(lf - in) : to;
        const bool crLf = lf != nullptr && end > i && in[end - 1] == kCr;
        const std::size_t body = crLf ? end - 1 : end;
        if (const void* cr = std::memchr(in + i, kCr, body - i); cr != nullptr) {
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - in);
            break;
        }
        if (lf == nullptr) {
            i = to;
            break;
        }
        if (!crLf) {
            if (!kWrite) {
                i = end;
                break; // an LF without its CR
            }
            std::memcpy(m_out, in + start, end - start);
            m_out += end - start;
            m_out[0] = kCr;
            m_out[1] = kLf;
            m_out += 2;
            m_lineEnds = static_cast<int>(LineEndKind::Lf);
            start = end + 1;
        }
        i = end + 1;
    }
    if (kWrite) {
        std::memcpy(m_out, in + start, i - start);
        m_out += i - start;
    }
    return i;
}

std::size_t CodeConvertStream::writePlain(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    return m_writer == Writer::Jis ? writePlain<Writer::Jis>(in, i, to)
                                   : writePlain<Writer::Euc>(in, i, to);
}

// A reader and a writer both: the reader's short way into a batch of Shift_JIS, the writer's
// from there. What the writer's short way leaves of the batch goes through the automaton.
std::size_t CodeConvertStream::readThenWrite(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    constexpr std::size_t kBatch = 4096;
    std::uint8_t sjis[kBatch] = {};
    std::uint8_t* const out = m_out;
    const bool crLf = m_crLf;
    m_out = sjis;
    m_crLf = false; // line ends are the writer's to turn into CR LF
    i = readShortWay(in, i, std::min(to, i + kBatch));
    const auto read = static_cast<std::size_t>(m_out - sjis);
    m_out = out;
    m_crLf = crLf;
    for (std::size_t k = writePlain(sjis, 0, read); k < read; ++k)
        write(sjis[k]);
    return i;
}

// Writes JIS or EUC-JP from well-formed Shift_JIS from i on, up to the first byte that needs the
// automaton: a stray lead byte or a lone CR.
template <CodeConvertStream::Writer kWriter>
std::size_t CodeConvertStream::writePlain(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    constexpr bool kJis = kWriter == Writer::Jis;
    std::uint8_t* o = m_out;
    int shift = m_writerShift;
    while (i + 1 < to) {
        const std::uint8_t b = in[i];
        const std::uint8_t next = in[i + 1];
        if (b < 0x80) {
            if (m_crLf && (b == kCr || b == kLf)) {
                if (b == kCr && next != kLf)
                    break;
                if (b == kLf)
                    m_lineEnds = static_cast<int>(LineEndKind::Lf);
                o = shiftTo(o, kJis, shift, kAsciiState);
                o[0] = kCr;
                o[1] = kLf;
                o += 2;
                i += b == kCr ? 2 : 1;
                continue;
            }
            o = putAscii(o, kJis, shift, b);
            ++i;
        } else if (isHalfWidthKana(b)) {
            o = putKana(o, kJis, shift, b);
            ++i;
        } else {
            const int cell = kCellOfTrail[next];
            if (cell == 0)
                break;
            const int row = kRowOfLead[b];
            o = putPair(o, kJis, shift,
                        row != 0 ? JisPair{row + (next >= 0x9F ? 1 : 0), cell} : kGeta);
            i += 2;
        }
    }
    m_out = o;
    m_writerShift = shift;
    return i;
}

// Reads from i on while the bytes need neither the automaton's states nor the JIS and EUC
// writers, with the line ends made CR LF on the way; returns where it stopped. Every byte read
// has one after it in the piece, to decide a pair or a CR LF.
template <CodeConvertStream::Reader kReader>
std::size_t CodeConvertStream::readPlain(const std::uint8_t* in, std::size_t i, std::size_t to)
{
    std::uint8_t* o = m_out;
    int lineEnds = m_lineEnds;
    int shift = m_shift;
    while (i + 1 < to) {
        if constexpr (kReader == Reader::Jis) {
            // The runs JIS text is made of, each in its own tight loop: kanji pairs, and
            // one-byte text up to a line end or a shift.
            if (shift == kKanjiState) {
                while (i + 1 < to && (kJisRowOrCell[in[i]] & kJisRowOrCell[in[i + 1]]) != 0) {
                    putSjisPairOfRow(o, in[i], in[i + 1]);
                    o += 2;
                    i += 2;
                }
            } else if (shift == kAsciiState) {
                while (i + 1 < to && kJisCopied[in[i]] != 0)
                    *o++ = in[i++];
            }
            if (i + 1 >= to)
                break;
        }
        if constexpr (kReader == Reader::Euc) {
            // Pairs and ASCII, each run in its own tight loop.
            for (std::size_t from = SIZE_MAX; from != i;) {
                from = i;
                while (i + 1 < to && (kEucRowOrCell[in[i]] & kEucRowOrCell[in[i + 1]]) != 0) {
                    putSjisPairOfRow(o, in[i] & 0x7F, in[i + 1] & 0x7F);
                    o += 2;
                    i += 2;
                }
                while (i + 1 < to && kEucCopied[in[i]] != 0)
                    *o++ = in[i++];
            }
            if (i + 1 >= to)
                break;
        }
        if constexpr (kReader == Reader::Sjis) {
            // A one-byte character or a whole pair without a branch on which: the second byte
            // written for a one-byte character is overwritten next.
            const std::uint8_t* p = in + i;
            const std::uint8_t* const last = in + to - 1;
            while (p < last) {
                const unsigned width = kSjisWidth[p[0]];
                if (width - 1U > kSjisTrail[p[1]])
                    break;
                std::memcpy(o, p, 2);
                o += width;
                p += width;
            }
            i = static_cast<std::size_t>(p - in);
            if (i + 1 >= to || kSjisWidth[in[i]] != 0)
                break; // the piece's last byte, or a lead byte without its trail
        }
        const std::uint8_t b = in[i];
        const std::uint8_t next = in[i + 1];
        if (b == kCr || b == kLf) {
            // Every reader passes line ends on as they are, in any state. Whether a CR stands
            // alone is for the converted bytes to say: a byte after it may go out later.
            if (!m_crLf) {
                *o++ = b;
                ++i;
                continue;
            }
            if (b == kCr && next != kLf)
                break;
            o[0] = kCr;
            o[1] = kLf;
            o += 2;
            if (b == kLf)
                lineEnds = static_cast<int>(LineEndKind::Lf);
            i += b == kCr ? 2 : 1;
            continue;
        }
        if constexpr (kReader == Reader::Sjis) {
            break; // not reached: every byte is taken above
        } else if constexpr (kReader == Reader::Euc) {
            if (b < 0x80) {
                *o++ = b;
                ++i;
                continue;
            }
            if (next < 0x80)
                break;
            if (b == kSs2) {
                *o++ = next;
                i += 2;
                continue;
            }
            putSjisPair(o, b & 0x7F, next & 0x7F);
        } else {
            if (b == kEsc && i + 3 < to) {
                // The designations JIS text is made of, whole within the piece.
                const int designated = jisDesignation(next, in[i + 2]);
                if (designated < 0)
                    break;
                shift = designated;
                i += 3;
                continue;
            }
            if (b == kEsc || b == kSo || b == kSi)
                break;
            if (shift != kKanjiState) {
                *o++ = shift == kKanaState && b >= 0x20 && b <= 0x5F
                           ? static_cast<std::uint8_t>(b + 0x80)
                           : b;
                ++i;
                continue;
            }
            if (b < 0x21 || next < 0x21)
                break;
            putSjisPair(o, b, next);
        }
        o += 2;
        i += 2;
    }
    m_out = o;
    m_lineEnds = lineEnds;
    m_shift = shift;
    return i;
}

// One byte of the reader; after is how many bytes of input follow it.
void CodeConvertStream::readByte(std::uint8_t b, std::size_t after)
{
    switch (m_reader) {
    case Reader::Copy:
        write(b);
        return;
    case Reader::Sjis:
        // Bytes between a lead byte and its trail go out first, the character whole after them.
        if (m_mode == Mode::LeadPending) {
            if (isSjisTrail(b)) {
                write(static_cast<std::uint8_t>(m_lead));
                m_mode = Mode::Text;
            }
            write(b);
        } else if (b >= 0x80 && !isHalfWidthKana(b)) {
            m_lead = b;
            m_mode = Mode::LeadPending;
        } else {
            write(b);
        }
        return;
    case Reader::Euc:
        if (m_mode == Mode::LeadPending) {
            if (b < 0x80) {
                write(b);
            } else if (m_lead == kSs2) {
                write(b);
                m_mode = Mode::Text;
            } else {
                std::uint8_t pair[2];
                putSjisPair(pair, m_lead & 0x7F, b & 0x7F);
                write(pair[0]);
                write(pair[1]);
                m_mode = Mode::Text;
            }
        } else if (b < 0x80 || after == 0) {
            write(b);
        } else {
            m_lead = b;
            m_mode = Mode::LeadPending;
        }
        return;
    case Reader::Jis:
        readJis(b, after);
        return;
    }
}

void CodeConvertStream::readJis(std::uint8_t b, std::size_t after)
{
    switch (m_mode) {
    case Mode::Text:
        if (b == kSo) {
            m_shift = kKanaState;
        } else if (b == kSi) {
            m_shift = kAsciiState;
        } else if (b == kEsc && after >= 2) {
            m_mode = Mode::Escape;
        } else if (m_shift == kKanjiState) {
            if (b < 0x21 || after == 0) {
                write(b);
            } else {
                m_lead = b;
                m_mode = Mode::LeadPending;
            }
        } else {
            write(m_shift == kKanaState && b >= 0x20 && b <= 0x5F
                      ? static_cast<std::uint8_t>(b + 0x80)
                      : b);
        }
        return;
    case Mode::Escape:
        // The search for the sequence's second byte stops before the input's last byte, which
        // is then read as text. The bytes passed over stay.
        if (after == 0) {
            m_mode = Mode::Text;
            readJis(b, after);
        } else if (b == '$') {
            m_shift = kKanjiState;
            m_mode = Mode::KanjiSet;
        } else if (b == '(') {
            m_shift = kAsciiState;
            m_mode = Mode::OneByteSet;
        } else {
            write(b);
        }
        return;
    case Mode::KanjiSet:
        if (b == '@' || b == 'B')
            m_mode = Mode::Text;
        else
            write(b);
        return;
    case Mode::OneByteSet:
        if (b == 'I')
            m_shift = kKanaState;
        if (b == 'B' || b == 'J' || b == 'I')
            m_mode = Mode::Text;
        else
            write(b);
        return;
    case Mode::LeadPending:
        // A line break inside a character goes out in front of it.
        if (b < 0x21) {
            write(b);
        } else {
            std::uint8_t pair[2];
            putSjisPair(pair, m_lead, b);
            write(pair[0]);
            write(pair[1]);
            m_mode = Mode::Text;
        }
        return;
    }
}

void CodeConvertStream::write(std::uint8_t b)
{
    if (m_writer == Writer::Copy)
        put(b);
    else
        writeLegacy(b);
}

// A Shift_JIS byte as SjisToJis or SjisToEuc writes it: a lead byte waits for the next one.
// Every byte goes through put, which keeps a lone CR's place among them.
void CodeConvertStream::writeLegacy(std::uint8_t b)
{
    if (m_writerLead >= 0) {
        const int lead = m_writerLead;
        m_writerLead = -1;
        if (const int cell = kCellOfTrail[b]; cell != 0) {
            const int row = kRowOfLead[static_cast<std::size_t>(lead)];
            writePair(row != 0 ? JisPair{row + (b >= 0x9F ? 1 : 0), cell} : kGeta);
            return;
        }
        writePair(kGeta); // and b is read on its own
    }
    const bool jis = m_writer == Writer::Jis;
    std::uint8_t bytes[5];
    std::uint8_t* end = bytes;
    if (b < 0x80) {
        end = putAscii(bytes, jis, m_writerShift, b);
    } else if (isHalfWidthKana(b)) {
        end = putKana(bytes, jis, m_writerShift, b);
    } else {
        end = shiftTo(bytes, jis, m_writerShift, kKanjiState);
        m_writerLead = b;
    }
    putBytes(bytes, end);
}

void CodeConvertStream::writePair(JisPair pair)
{
    std::uint8_t bytes[5];
    putBytes(bytes, putPair(bytes, m_writer == Writer::Jis, m_writerShift, pair));
}

// CrLfConvert: every line end CR LF; the kind of the last one that was not.
void CodeConvertStream::putLineEnd(std::uint8_t b)
{
    if (!m_crLf) {
        *m_out++ = b;
        return;
    }
    if (m_pendingCr) {
        m_pendingCr = false;
        *m_out++ = kCr;
        *m_out++ = kLf;
        if (b == kLf)
            return;
        m_lineEnds = static_cast<int>(LineEndKind::Cr);
    }
    if (b == kCr) {
        m_pendingCr = true;
    } else if (b == kLf) {
        *m_out++ = kCr;
        *m_out++ = kLf;
        m_lineEnds = static_cast<int>(LineEndKind::Lf);
    } else {
        *m_out++ = b;
    }
}

void CodeConvertStream::finish()
{
    // A lead or row byte still waiting is dropped, as the whole-buffer readers drop it.
    m_mode = Mode::Text;
    if (m_writerLead >= 0) {
        m_writerLead = -1;
        writePair(kGeta);
    }
    std::uint8_t escape[3];
    putBytes(escape, shiftTo(escape, m_writer == Writer::Jis, m_writerShift, kAsciiState));
    if (m_pendingCr) {
        m_pendingCr = false;
        *m_out++ = kCr;
        *m_out++ = kLf;
        m_lineEnds = static_cast<int>(LineEndKind::Cr);
    }
}

} // namespace kestrova::io
