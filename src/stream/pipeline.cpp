#include "stream/pipeline.h"

#include "engine/reflow.h"
#include "io/codestream.h"
#include "io/jis2sjis.h"
#include "io/jiscodes.h"
#include "io/textcodec.h"
#include "stream/piececodecs.h"
#include "stream/refusals.h"
#include "stream/work.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrova::stream {
namespace {

// Lets go of the input behind the passes that read it whole, so that a mapped file is never
// resident all at once: one pass, or two side by side, each from the start of the input. Of
// two, the one ahead waits when it is far ahead, since the input is held from the one behind.
class Passes
{
public:
    static constexpr std::size_t kLead = 8 << 20;

    explicit Passes(const std::function<void(std::size_t)>& consumed)
        : m_consumed(consumed)
    {
    }

    // A new round of count passes (1 or 2) side by side.
    void begin(int count)
    {
        const std::lock_guard lock(m_mutex);
        m_at = {0, count > 1 ? 0 : SIZE_MAX};
    }

    io::ScanProgress reporter(int pass)
    {
        if (!m_consumed)
            return {};
        return [this, pass](std::size_t at) { report(pass, at); };
    }

    // The pass has read all it reads.
    void finish(int pass)
    {
        if (m_consumed)
            report(pass, SIZE_MAX);
    }

private:
    void report(int pass, std::size_t at)
    {
        std::unique_lock lock(m_mutex);
        const auto self = static_cast<std::size_t>(pass);
        m_at[self] = at;
        if (const std::size_t behind = std::min(m_at[0], m_at[1]); behind != SIZE_MAX)
            m_consumed(behind);
        m_moved.notify_all();
        if (at != SIZE_MAX)
            m_moved.wait(lock, [&] {
                const std::size_t other = m_at[1 - self];
                return other == SIZE_MAX || m_at[self] <= other + kLead;
            });
    }

    const std::function<void(std::size_t)>& m_consumed;
    std::mutex m_mutex;
    std::condition_variable m_moved;
    std::array<std::size_t, 2> m_at{};
};

// A second thread for work that may run out of memory: what it throws is thrown again by join,
// in the thread that waits for it, and it is waited for on every way out, an exception in the
// waiting thread included, since a thread left running would end the process.
class SideThread
{
public:
    template <typename Work>
    explicit SideThread(Work&& work)
        : m_thread([this, work = std::forward<Work>(work)]() mutable {
            try {
                work();
            } catch (...) {
                m_error = std::current_exception();
            }
        })
    {
    }
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;
    ~SideThread()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    void join()
    {
        m_thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    std::exception_ptr m_error; // set before the thread starts, so declared first
    std::thread m_thread;
};

// The code of input that is not UTF-8, and whether it is Shift_JIS that isPlainShiftJis accepts.
// Both scans read the whole input: a large one is read by both at once, on two cores.
struct Classification
{
    io::CodeDetection code;
    bool plainShiftJis = false;
};

Classification classify(std::string_view input, io::OutputCode code, Passes& passes)
{
    Classification found;
    const auto detect = [&](const io::ScanProgress& passed) {
        found.code = io::detectCode(bytesOf(input), input.size(), passed);
    };
    constexpr std::size_t kSideBySideBytes = 1 << 20;
    if (input.size() >= kSideBySideBytes) {
        try {
            passes.begin(2);
            // Detection ends early on JIS or EUC-JP: the check need not go on then.
            std::atomic<bool> notShiftJis = false;
            SideThread detection([&] {
                detect(passes.reporter(0));
                notShiftJis = found.code.family != io::CodeFamily::Sjis;
                passes.finish(0);
            });
            const bool plain = isPlainShiftJis(input, true, code, passes.reporter(1), &notShiftJis);
            passes.finish(1);
            detection.join();
            found.plainShiftJis = plain && found.code.family == io::CodeFamily::Sjis;
            return found;
        } catch (const std::system_error&) {
            // no thread to be had: one after the other
        }
    }
    passes.begin(1);
    detect(passes.reporter(0));
    if (found.code.family == io::CodeFamily::Sjis) {
        passes.begin(1);
        found.plainShiftJis = isPlainShiftJis(input, true, code, passes.reporter(0));
    }
    return found;
}

using Consumed = std::function<void(std::size_t)>;

// The pieces of a pass that cuts anywhere: the byte converters take any cut.
template <typename Work>
bool eachPiece(std::string_view input, const PieceSizes& pieceBytes, const Consumed& consumed,
               Work&& work)
{
    std::size_t from = 0;
    do {
        const std::size_t to =
            std::min(input.size(), from + std::max<std::size_t>(pieceBytes(), 1));
        if (!work(input.substr(from, to - from), to == input.size()))
            return false;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < input.size());
    return true;
}

RunResult convertDirect(const Task& o, std::string_view text, bool utf8, Output& out,
                        const PieceSizes& pieceBytes, const Consumed& consumed,
                        io::LineEndKind& lineEnds)
{
    RunResult result;
    DirectConverter converter(utf8, outputCodeOf(o), o.crlf);
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        if (!writeOrFail(out, converter.convert(text.substr(from, to - from), to == text.size()),
                         result))
            return result;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < text.size());
    lineEnds = converter.lineEnds();
    return result;
}

// convert of JIS, EUC-JP or Shift_JIS to a Japanese code: the byte converters as the input
// comes; nothing is refused.
RunResult convertStreamed(const Task& o, std::string_view input, io::CodeDetection code,
                          Output& out, const PieceSizes& pieceBytes, const Consumed& consumed)
{
    RunResult result;
    io::CodeConvertStream stream(code, o.convertTo);
    if (!eachPiece(input, pieceBytes, consumed, [&](std::string_view piece, bool last) {
            return writeOrFail(out, stream.convert(piece, last), result);
        }))
        return result;
    result.resultWord = stream.resultWord();
    return result;
}

// A text command over its pieces: decoded, worked and encoded, each written when it is ready.
class TextWork
{
public:
    TextWork(const Task& o, bool utf8)
        : m_options(o)
        , m_decoder(utf8)
        , m_encoder(outputCodeOf(o), o.crlf)
    {
        engine::beginReflow(m_state);
    }

    // A piece ends with a line end unless it is the last. read (when set) hears that the bytes
    // have been read and may be let go of, before the work on them: a long line is then not
    // held as bytes and as text at once.
    bool piece(std::string_view bytes, bool last, Output& out, RunResult& result,
               const std::function<void()>& read = {})
    {
        const std::u16string_view decoded = m_decoder.decode(bytes);
        if (read)
            read();
        return work(decoded, !bytes.empty(), last, out, result);
    }

    // piece for bytes not yet checked, as readCheckedCharacters checks them: the fault that
    // stopped it, or None with result telling whether the writing failed.
    Fault pieceChecked(std::string_view bytes, bool last, Output& out, RunResult& result,
                       const std::function<void()>& read = {})
    {
        std::u16string_view decoded;
        const Fault fault = m_decoder.decodeChecked(bytes, outputCodeOf(m_options), decoded);
        if (fault != Fault::None)
            return fault;
        if (read)
            read();
        static_cast<void>(work(decoded, !bytes.empty(), last, out, result));
        return fault;
    }

    io::LineEndKind lineEnds() const { return m_decoder.lineEnds(); }
    bool multiByte() const { return m_decoder.multiByte(); }

private:
    bool work(std::u16string_view decoded, bool some, bool last, Output& out, RunResult& result)
    {
        m_lines.clear();
        // Room for the usual work at once: a long line grown step by step would be held twice
        // while it moves.
        m_lines.reserve(decoded.size() + decoded.size() / 8 + 16);
        runLines(m_options, m_state, decoded, last, m_resumed, m_lines);
        m_resumed = m_resumed || some;
        if (last && m_options.command == Command::Align)
            engine::endReflow(m_options.settings, m_state, m_lines);
        return writeOrFail(out, m_encoder.encode(m_lines, last), result);
    }

    const Task& m_options;
    PieceDecoder m_decoder;
    PieceEncoder m_encoder;
    engine::ReflowState m_state;
    std::u16string m_lines;
    bool m_resumed = false;
};

// The text route over text that decodes without fault, every character of it with a form in
// the output code; lineEnds receives the kind of the line ends it read.
RunResult runPieces(const Task& o, std::string_view text, bool utf8, Output& out,
                    const PieceSizes& pieceBytes, const Consumed& consumed,
                    io::LineEndKind& lineEnds)
{
    RunResult result;
    TextWork work(o, utf8);
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        const auto read = [&] {
            if (consumed)
                consumed(to);
        };
        if (!work.piece(text.substr(from, to - from), to == text.size(), out, result, read))
            return result;
        if (consumed)
            consumed(to);
        from = to;
    } while (from < text.size());
    lineEnds = work.lineEnds();
    return result;
}

// Nothing may be written before the input is known to give no refusal: every character it
// holds or the command adds has a form in the output code.
bool extrasFit(const Task& o)
{
    const io::OutputCode code = outputCodeOf(o);
    return allHaveForms(o.settings.EnterMes, code) && allHaveForms(o.settings.Inyofu, code);
}

// Output held back while the input is still being checked, since a refusal found late must
// leave standard output empty. Up to a limit: past that, the caller checks the rest of the
// input before it lets the held bytes go, so that memory stays bounded whatever the input.
class HeldOutput : public Output
{
public:
    HeldOutput(Output& out, std::size_t limit)
        : m_out(out)
        , m_limit(limit)
    {
    }

    bool write(std::string_view bytes) override
    {
        if (m_released)
            return m_out.write(bytes);
        // Piece by piece: a growing buffer would copy what it holds, and hold it twice.
        m_held.emplace_back(bytes);
        m_size += bytes.size();
        return true;
    }
    std::string failure() const override { return m_out.failure(); }

    bool full() const { return !m_released && m_size >= m_limit; }

    // A refusal is coming: what is held will never be written.
    void drop()
    {
        std::vector<std::string>().swap(m_held);
        m_size = 0;
    }

    // The input is known to give no refusal: what is held goes out, and the rest goes straight.
    bool release()
    {
        m_released = true;
        bool written = true;
        for (std::string& piece : m_held) {
            written = written && m_out.write(piece);
            std::string().swap(piece);
        }
        m_held.clear();
        return written;
    }

private:
    Output& m_out;
    std::size_t m_limit;
    std::vector<std::string> m_held;
    std::size_t m_size = 0;
    bool m_released = false;
};

RunResult writeFailed(const Output& out)
{
    RunResult result;
    result.exitStatus = kExitWriteFailed;
    result.error = out.failure();
    return result;
}

// Memory filled once from end to end is better taken in huge pages where the system gives
// them on request: thousands of page faults fewer.
void adviseHugePages(void* data, std::size_t size)
{
    constexpr std::uintptr_t kHuge = 2 << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// One half of a convert run on two cores at once: UTF-8, or the byte converters' Shift_JIS,
// checked and converted into memory.
class Half
{
public:
    Half(const Task& o, bool utf8, const io::CodeDetection* code)
        : m_direct(utf8, outputCodeOf(o), o.crlf)
        , m_crlf(o.crlf)
    {
        if (code)
            m_stream.emplace(*code, io::kTargetSjis);
        m_plain = !code                                 ? Plain::None
                  : code->family == io::CodeFamily::Euc ? Plain::Euc
                  : code->family == io::CodeFamily::Jis ? Plain::Jis
                                                        : Plain::None;
        m_shift = code ? code->jisStart : io::kAsciiState;
        m_damageChecked = code && code->family != io::CodeFamily::Sjis;
        m_jis = code && code->family == io::CodeFamily::Jis;
    }

    // False on a fault, or when the bytes would pass limit or the room the usual text needs.
    // following is the number of input bytes after the half.
    bool run(std::string_view half, std::size_t following, std::size_t limit,
             const std::atomic<bool>* stop = nullptr)
    {
        // UTF-8 of two-byte codes takes three bytes for two: twice the input is room enough
        // for ordinary text. Taken only as it is written.
        m_capacity = std::min(limit, 2 * half.size() + 64);
        m_bytes.reset(new char[m_capacity]);
        adviseHugePages(m_bytes.get(), m_capacity);
        if (m_plain != Plain::None && readPlain(half, following == 0))
            return true;
        m_plain = Plain::None;
        m_size = 0;
        const bool last = following == 0;
        const PieceSizes pieceBytes = [] { return kPieceBytes; };
        for (std::size_t from = 0; from < half.size();) {
            if (stop && stop->load(std::memory_order_relaxed))
                return false;
            const std::size_t to = m_stream ? std::min(half.size(), from + kPieceBytes)
                                            : pieceEnd(half, from, pieceBytes);
            const bool end = last && to == half.size();
            std::string_view bytes = half.substr(from, to - from);
            if (m_stream)
                bytes = m_characters.take(
                    m_stream->convert(bytes, end, to == half.size() ? following : 0), end);
            std::string_view converted;
            if (m_damageChecked && !isUndamagedJis(bytes, m_jis, io::OutputCode::Utf8))
                return false;
            if (m_direct.convertChecked(bytes, end, converted) != Fault::None ||
                converted.size() > m_capacity - m_size)
                return false;
            std::memcpy(m_bytes.get() + m_size, converted.data(), converted.size());
            m_size += converted.size();
            from = to;
        }
        return true;
    }

    // Once the first half has run: its converters stand where a fresh start stands.
    bool endsFresh(const io::CodeDetection& code) const
    {
        if (m_plain != Plain::None)
            return m_shift == code.jisStart;
        return !m_characters.holding() &&
               (!m_stream || m_stream->sameState(io::CodeConvertStream(code, io::kTargetSjis)));
    }

    std::string_view bytes() const { return {m_bytes.get(), m_size}; }
    bool multiByte() const { return m_direct.multiByte(); }
    io::LineEndKind lineEnds() const
    {
        return m_plain != Plain::None ? m_plainLineEnds
               : m_stream             ? m_stream->lineEnds()
                                      : m_direct.lineEnds();
    }

private:
    enum class Plain
    {
        None,
        Euc,
        Jis,
    };

    // EUC-JP or ISO-2022-JP to UTF-8 in one loop, for text the byte converters would read
    // without moving a byte: in EUC-JP every byte above 0x7F one of a pair of JIS X 0208 or of
    // SS2 and a katakana; in ISO-2022-JP only whole designations of JIS X 0208, ASCII, JIS
    // Roman and katakana, SO and SI, kanji pairs of 0x21-0x7E and katakana 0x21-0x5F; every
    // pair a character. False for anything else: the long way decides.
    bool readPlain(std::string_view half, bool last)
    {
        const std::uint8_t* s = bytesOf(half);
        const std::size_t n = half.size();
        const bool euc = m_plain == Plain::Euc;
        char* o = m_bytes.get();
        char* const end = o + m_capacity;
        for (std::size_t i = 0; i < n;) {
            // No byte read gives more than three: a pair or a katakana, or CR LF.
            if (end - o < 3)
                return false;
            if (!euc && m_shift == io::kKanjiState) {
                // A kanji run's pairs in a loop of their own.
                using io::jiscodes::kJisRowOrCell;
                while (i + 1 < n && end - o >= 3 &&
                       (kJisRowOrCell[s[i]] & kJisRowOrCell[s[i + 1]]) != 0) {
                    const char16_t kanji =
                        tables::kDecode2[io::jiscodes::sjisOfRow(s[i], s[i + 1])];
                    if (!isJisCharacter(kanji))
                        return false;
                    o = putUtf8Bmp(o, kanji);
                    i += 2;
                }
                if (i == n)
                    break;
                if (end - o < 3)
                    return false;
            }
            const std::uint8_t b = s[i];
            char16_t c = tables::kNoChar;
            if (b == '\r' || b == '\n') {
                io::passLineEnd(s, i, n, m_plainLineEnds);
                if (m_crlf)
                    *o++ = '\r';
                *o++ = '\n';
                continue;
            }
            if (!euc && b == io::kEsc) {
                if (i + 3 > n)
                    return false;
                const int designated = io::jiscodes::jisDesignation(s[i + 1], s[i + 2]);
                if (designated < 0)
                    return false;
                m_shift = designated;
                i += 3;
                continue;
            }
            if (!euc && (b == io::kSo || b == io::kSi)) {
                m_shift = b == io::kSo ? io::kKanaState : io::kAsciiState;
                ++i;
                continue;
            }
            // What the readers pass on as it is.
            if (euc ? b < 0x80
                    : m_shift == io::kAsciiState || b < (m_shift == io::kKanaState ? 0x20 : 0x21)) {
                if (b >= 0x80)
                    return false;
                ++i;
                if (!(last && i == n && b == io::kEndOfFile))
                    *o++ = static_cast<char>(b);
                continue;
            }
            if (!euc && m_shift == io::kKanaState) {
                if (b > 0x5F)
                    return false;
                c = tables::kDecode1[b + 0x80];
                ++i;
            } else if (i + 1 < n) {
                const std::uint8_t next = s[i + 1];
                const int high = euc ? 0x80 : 0;
                if (euc && b == 0x8E) {
                    if (next >= 0xA1 && next <= 0xDF)
                        c = tables::kDecode1[next];
                } else if (b >= 0x21 + high && b <= 0x7E + high && next >= 0x21 + high &&
                           next <= 0x7E + high) {
                    c = tables::kDecode2[io::jiscodes::sjisOfRow(b & 0x7F, next & 0x7F)];
                }
                i += 2;
            }
            if (!isJisCharacter(c))
                return false;
            o = putUtf8Bmp(o, c);
        }
        m_size = static_cast<std::size_t>(o - m_bytes.get());
        return true;
    }

    // A character decoded from a pair or a katakana that the checks of isUndamagedJis would let
    // pass: its own form lies in the rows of JIS X 0208, so that the pair is no damage.
    static bool isJisCharacter(char16_t c)
    {
        return c != tables::kNoChar && c >= 0x80 && fitsJisRows(tables::kEncode[c]);
    }

    std::optional<io::CodeConvertStream> m_stream;
    WholeCharacters m_characters;
    DirectConverter m_direct;
    bool m_crlf;
    Plain m_plain;
    int m_shift;          // the JIS state of the plain reading
    bool m_damageChecked; // JIS or EUC-JP, whose damage the converters would pass on
    bool m_jis;
    io::LineEndKind m_plainLineEnds = io::LineEndKind::CrLf;
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
};

// Inputs worth a second core.
constexpr std::size_t kTwoCoresBytes = 1 << 20;

// Where convert may cut the input in two: after the first line feed past the middle, for an
// input large enough to be worth a second core and small enough for its result to be held.
std::size_t halfway(std::string_view input, std::size_t heldBytes)
{
    if (input.size() < kTwoCoresBytes || input.size() > heldBytes)
        return 0;
    const std::size_t lineFeed = input.find('\n', input.size() / 2);
    return lineFeed == std::string_view::npos || lineFeed + 3 > input.size() ? 0 : lineFeed + 1;
}

// Both halves at once, the second from a fresh start; false when either found a fault, held
// too much, or no second thread was to be had.
bool runHalves(Half& first, Half& second, std::string_view input, std::size_t split,
               std::size_t heldBytes)
{
    try {
        bool secondDone = false;
        SideThread other([&] { secondDone = second.run(input.substr(split), 0, heldBytes / 2); });
        const bool firstDone =
            first.run(input.substr(0, split), input.size() - split, heldBytes / 2);
        other.join();
        return firstDone && secondDone;
    } catch (const std::system_error&) {
        return false;
    }
}

// Writes the two halves; the line-end kind is the last one's that found one.
RunResult writeHalves(const Half& first, const Half& second, Output& out, int family)
{
    RunResult result;
    if (writeOrFail(out, first.bytes(), result) && writeOrFail(out, second.bytes(), result))
        result.resultWord = resultWord(
            second.lineEnds() != io::LineEndKind::CrLf ? second.lineEnds() : first.lineEnds(),
            family);
    return result;
}

// convert of Shift_JIS to UTF-8 with the two whole-input passes at once: the code detection on
// one core, the check and the conversion into held memory on the other. Gives nothing, having
// written nothing, when the input is no plain Shift_JIS, or too small or too large for this.
std::optional<RunResult> convertShiftJisAtOnce(const Task& o, std::string_view input, Output& out,
                                               const Consumed& consumed, std::size_t heldBytes)
{
    if (input.size() < kTwoCoresBytes || input.size() > heldBytes)
        return std::nullopt;
    Half all(o, false, nullptr);
    io::CodeDetection detected;
    try {
        // Detection ends early on JIS or EUC-JP: the conversion need not go on then.
        std::atomic<bool> notShiftJis = false;
        SideThread detection([&] {
            detected = io::detectCode(bytesOf(input), input.size());
            notShiftJis = detected.family != io::CodeFamily::Sjis;
        });
        const bool converted = all.run(withoutEndOfFile(input), 0, heldBytes, &notShiftJis);
        detection.join();
        if (!converted || detected.family != io::CodeFamily::Sjis)
            return std::nullopt;
    } catch (const std::system_error&) {
        return std::nullopt; // no thread to be had
    }
    if (consumed)
        consumed(input.size());
    RunResult result;
    if (writeOrFail(out, all.bytes(), result))
        result.resultWord = resultWord(all.lineEnds(), static_cast<int>(io::CodeFamily::Sjis));
    return result;
}

// The refusal of text that decodes throughout (UTF-8, or plain Shift_JIS) but holds or gains a
// character the output code cannot hold, worded from a pass that works piece by piece and keeps
// no output, so that memory stays bounded for a refusal too. Should the work drop every such
// character after all (unquote taking off a quote mark that has no form), the result follows.
RunResult refuseInPieces(const Task& o, std::string_view input, std::string_view text, bool utf8,
                         Output& out, const Consumed& consumed)
{
    const auto offset = static_cast<std::size_t>(text.data() - input.data());
    const io::OutputCode code = outputCodeOf(o);
    PieceDecoder decoder(utf8);
    engine::ReflowState state;
    engine::beginReflow(state);
    const PieceSizes pieceBytes = [] { return kPieceBytes; };
    std::u16string lines;
    std::size_t linesBefore = 0;
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        const bool last = to == text.size();
        const std::u16string_view decoded = decoder.decode(text.substr(from, to - from));
        lines.clear();
        runLines(o, state, decoded, last, from > 0, lines);
        if (last && o.command == Command::Align)
            engine::endReflow(o.settings, state, lines);
        if (!allHaveForms(lines, code))
            return noFormRefusal(o, decoded, lines, linesBefore);
        linesBefore += countLineEnds(decoded);
        if (consumed)
            consumed(offset + to);
        from = to;
    } while (from < text.size());
    // Nothing is refused: the input gives its result, written as it is made.
    const PieceSizes sameSizes = [] { return kPieceBytes; };
    const Consumed behindOffset = [&](std::size_t upTo) {
        if (consumed)
            consumed(offset + upTo);
    };
    io::LineEndKind lineEnds = io::LineEndKind::CrLf;
    if (o.command != Command::Convert)
        return runPieces(o, text, utf8, out, sameSizes, behindOffset, lineEnds);
    RunResult result = convertDirect(o, text, utf8, out, sameSizes, behindOffset, lineEnds);
    if (result.exitStatus == kExitDone)
        result.resultWord = input.empty() ? 0 : resultWord(lineEnds, utf8 ? kUtf8Family : 0);
    return result;
}

// Input read as UTF-8 in one pass that checks each piece before it works on it. Gives nothing
// when the input is no UTF-8 after all; nothing has been written then.
std::optional<RunResult> tryUtf8(const Task& o, std::string_view input, Output& out,
                                 const PieceSizes& pieceBytes, const Consumed& consumed,
                                 std::size_t heldBytes)
{
    const bool isConvert = o.command == Command::Convert;
    const bool byteOrderMark = input.substr(0, 3) == kByteOrderMark;
    const std::size_t offset = byteOrderMark ? 3 : 0;
    const std::string_view text = withoutEndOfFile(input.substr(offset));
    const auto report = [&](std::size_t upTo) {
        if (consumed)
            consumed(offset + upTo);
    };
    // Text with no byte above 0x7F at all (ASCII, JIS) is no UTF-8 by the rule: found in a
    // quick pass that lets go of the input behind it.
    if (!byteOrderMark) {
        const std::uint8_t* s = bytesOf(text);
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = std::min(text.size(), at + Every::kBytes);
            // Blocks of 64 bytes in one test each, which the compiler can do in vector registers.
            while (at + 64 <= end) {
                std::uint64_t any = 0;
                for (std::size_t k = 0; k < 64; k += 8) {
                    std::uint64_t word;
                    std::memcpy(&word, s + at + k, 8);
                    any |= word;
                }
                if (any & 0x8080808080808080ULL)
                    break;
                at += 64;
            }
            at = io::asciiRunEnd(s, at, end);
            if (at < end)
                break;
            report(at);
        }
        if (at == text.size())
            return std::nullopt;
    }
    Utf8Check check(outputCodeOf(o), byteOrderMark);
    HeldOutput held(out, heldBytes);
    DirectConverter direct(true, outputCodeOf(o), o.crlf);
    TextWork work(o, true);
    RunResult result;
    if (const std::size_t split = halfway(text, heldBytes); isConvert && split) {
        Half first(o, true, nullptr);
        Half second(o, true, nullptr);
        if (runHalves(first, second, text, split, heldBytes)) {
            if (!byteOrderMark && !first.multiByte() && !second.multiByte())
                return std::nullopt;
            report(text.size());
            return writeHalves(first, second, out, kUtf8Family);
        }
    }
    bool working = isConvert || extrasFit(o); // else it ends in a refusal, if UTF-8 at all
    bool checkedAll = false;
    const auto isUtf8 = [&] { return check.utf8() || direct.multiByte() || work.multiByte(); };
    std::size_t from = 0;
    do {
        const std::size_t to = pieceEnd(text, from, pieceBytes);
        const bool last = to == text.size();
        const std::string_view piece = text.substr(from, to - from);
        if (working && held.full()) {
            // No more is held: the rest of the input is checked before anything is written.
            if (!check.read(text.substr(from), [&](std::size_t at) { report(from + at); }))
                return std::nullopt;
            checkedAll = true;
            if (!isUtf8())
                return std::nullopt;
            working = check.fits();
            if (working && !held.release())
                return writeFailed(held);
        }
        if (checkedAll) {
            if (working &&
                !(isConvert ? writeOrFail(held, direct.convert(piece, last), result)
                            : work.piece(piece, last, held, result, [&] { report(to); })))
                return result;
        } else if (working) {
            // One loop checks and decodes. Once the last piece is checked the input is known to
            // give its result: what is held goes out, and the last piece's work straight after
            // it, so that a long last line is never held a second time.
            bool releaseFailed = false;
            const auto checked = [&] {
                report(to);
                releaseFailed = last && isUtf8() && !held.release();
            };
            std::string_view bytes;
            const Fault fault = isConvert ? direct.convertChecked(piece, last, bytes)
                                          : work.pieceChecked(piece, last, held, result, checked);
            if (fault == Fault::None && isConvert)
                checked();
            if (releaseFailed)
                return writeFailed(held);
            if (fault == Fault::NotUtf8)
                return std::nullopt;
            if (fault == Fault::Refused) {
                working = false;
                if (!check.read(piece))
                    return std::nullopt;
            } else if (!writeOrFail(held, bytes, result) || result.exitStatus != kExitDone) {
                return result;
            }
        } else if (!check.read(piece)) {
            return std::nullopt;
        }
        report(to);
        from = to;
    } while (from < text.size());
    if (!isUtf8())
        return std::nullopt;
    if (!working)
        return refuseInPieces(o, input, text, true, out, consumed);
    if (!held.release())
        return writeFailed(held);
    if (isConvert)
        result.resultWord = resultWord(direct.lineEnds(), kUtf8Family);
    return result;
}

// JIS, EUC-JP or Shift_JIS the clean-up changes, through the byte converters in one pass that
// checks each piece of their Shift_JIS before it works on it: convert to UTF-8, or a text
// command. Past heldBytes of output a copy of the converters checks the rest of the input
// first. On a fault, passes of their own word the refusal; input that refusalOf finds gives
// none after all (the work drops what the check stopped at) runs again as known, checked.
RunResult runChecked(const Task& o, std::string_view input, io::CodeDetection code, Output& out,
                     const PieceSizes& pieceBytes, const Consumed& consumed, std::size_t heldBytes,
                     bool known = false)
{
    const bool isConvert = o.command == Command::Convert;
    const io::OutputCode output = outputCodeOf(o);
    const auto refuse = [&] {
        if (std::optional<RunResult> refused = refusalOf(o, input, code, consumed))
            return *refused;
        return runChecked(o, input, code, out, pieceBytes, consumed, heldBytes, true);
    };
    if (!known && !isConvert && !extrasFit(o))
        return refuse();
    if (const std::size_t split = halfway(input, heldBytes); !known && isConvert && split) {
        Half first(o, false, &code);
        Half second(o, false, &code);
        if (runHalves(first, second, input, split, heldBytes) && first.endsFresh(code)) {
            if (consumed)
                consumed(input.size());
            return writeHalves(first, second, out, static_cast<int>(code.family));
        }
    }
    io::CodeConvertStream stream(code, io::kTargetSjis);
    WholeCharacters characters;
    HeldOutput held(out, heldBytes);
    DirectConverter direct(false, io::OutputCode::Utf8, o.crlf);
    TextWork work(o, false);
    std::string lines; // converted bytes up to the last line end seen, and what follows it
    RunResult result;
    // JIS and EUC-JP are checked for damage in every run, convert included.
    const bool damageChecked = code.family != io::CodeFamily::Sjis;
    const auto fits = [&](std::string_view bytes) {
        return damageChecked ? isUndamagedJis(bytes, code.family == io::CodeFamily::Jis, output)
                             : isPlainShiftJis(bytes, true, output);
    };
    const auto checks = [&](io::CodeConvertStream& converter, WholeCharacters& whole,
                            std::string_view piece, bool last) {
        return fits(whole.take(converter.convert(piece, last), last));
    };
    bool checkedAll = known;
    if (known)
        static_cast<void>(held.release()); // nothing held yet: nothing written
    std::size_t from = 0;
    do {
        const std::size_t to =
            std::min(input.size(), from + std::max<std::size_t>(pieceBytes(), 1));
        const bool last = to == input.size();
        const std::string_view bytes =
            characters.take(stream.convert(input.substr(from, to - from), last), last);
        // convert checks in the loop that converts; the text commands check first.
        if (!checkedAll && (!isConvert || held.full() || damageChecked) && !fits(bytes)) {
            held.drop();
            return refuse();
        }
        if (held.full()) {
            io::CodeConvertStream checker = stream;
            WholeCharacters checkerCharacters = characters;
            for (std::size_t at = to; at < input.size();) {
                const std::size_t next = std::min(input.size(), at + kPieceBytes);
                if (!checks(checker, checkerCharacters, input.substr(at, next - at),
                            next == input.size())) {
                    held.drop();
                    return refuse();
                }
                if (consumed)
                    consumed(next);
                at = next;
            }
            checkedAll = true;
            if (!held.release())
                return writeFailed(held);
        }
        if (isConvert) {
            std::string_view converted;
            if (checkedAll)
                converted = direct.convert(bytes, last);
            else if (direct.convertChecked(bytes, last, converted) != Fault::None) {
                held.drop();
                return refuse();
            }
            // The last piece checked, the input gives its result: its bytes follow what is held
            // without being held themselves.
            if (last && !held.release())
                return writeFailed(held);
            if (!writeOrFail(held, converted, result))
                return result;
        } else {
            // What was held before holds no line end: only the new bytes are searched, so that
            // a long line costs no search over all of it for each piece.
            const std::size_t searched = lines.empty() ? 0 : lines.size() - 1;
            lines += bytes;
            std::size_t cut = lines.size();
            if (!last) {
                const std::size_t end = std::string_view(lines).substr(searched).rfind("\r\n");
                cut = end == std::string::npos ? 0 : searched + end + 2;
            }
            if (last && !held.release())
                return writeFailed(held);
            // Once decoded, the lines' bytes go, before the work on them: a long line is not
            // held as bytes and as text at once.
            const auto read = [&] { std::string(std::string_view(lines).substr(cut)).swap(lines); };
            if ((cut > 0 || last) &&
                !work.piece(std::string_view(lines).substr(0, cut), last, held, result, read))
                return result;
        }
        if (consumed)
            consumed(to);
        from = to;
    } while (from < input.size());
    if (!held.release())
        return writeFailed(held);
    if (isConvert)
        result.resultWord = stream.resultWord();
    return result;
}
} // namespace

RunResult runPipeline(const Task& o, std::string_view input, Output& out,
                      const PieceSizes& pieceSizes, const Consumed& consumed, std::size_t heldBytes)
{
    const PieceSizes pieceBytes = pieceSizes ? pieceSizes : PieceSizes([] { return kPieceBytes; });
    const bool isConvert = o.command == Command::Convert;
    const io::OutputCode code = outputCodeOf(o);
    // Looked at only where the input's last bytes could begin a character of UTF-8.
    if (std::optional<std::string> cutOff = io::cutOffUtf8Reason(input, consumed))
        return refusal(o, *cutOff);
    // UTF-8 first: the first byte that is none ends the try, in most other text at once.
    if (std::optional<RunResult> result = tryUtf8(o, input, out, pieceBytes, consumed, heldBytes))
        return *result;
    Passes passes(consumed);
    io::LineEndKind lineEnds = io::LineEndKind::CrLf;

    if (isConvert && o.convertTo == kConvertToUtf8) {
        if (std::optional<RunResult> result =
                convertShiftJisAtOnce(o, input, out, consumed, heldBytes))
            return *result;
    }
    if (isConvert && o.convertTo != kConvertToUtf8) {
        // Any bytes convert to a Japanese code: the code is all that must be known first.
        passes.begin(1);
        const io::CodeDetection detected =
            io::detectCode(bytesOf(input), input.size(), passes.reporter(0));
        return convertStreamed(o, input, detected, out, pieceBytes, consumed);
    }

    const Classification found = classify(input, code, passes);
    if (found.plainShiftJis && !isConvert && !extrasFit(o))
        return refuseInPieces(o, input, withoutEndOfFile(input), false, out, consumed);
    if (found.plainShiftJis && (isConvert || extrasFit(o))) {
        const std::string_view text = withoutEndOfFile(input);
        RunResult result = isConvert
                               ? convertDirect(o, text, false, out, pieceBytes, consumed, lineEnds)
                               : runPieces(o, text, false, out, pieceBytes, consumed, lineEnds);
        if (isConvert && result.exitStatus == kExitDone)
            result.resultWord = input.empty() ? 0 : resultWord(lineEnds, 0);
        return result;
    }
    return runChecked(o, input, found.code, out, pieceBytes, consumed, heldBytes);
}

std::string detectStatus(std::string_view input, const std::function<void(std::size_t)>& consumed)
{
    const PieceSizes pieceBytes = [] { return kPieceBytes; };
    // The kind of the input's line ends, in pieces cut at line ends.
    const auto lineEnds = [&] {
        io::LineEndKind kind = io::LineEndKind::CrLf;
        for (std::size_t from = 0; from < input.size();) {
            const std::size_t to = pieceEnd(input, from, pieceBytes);
            if (const io::LineEndKind found = lineEndKind(input.substr(from, to - from));
                found != io::LineEndKind::CrLf)
                kind = found;
            if (consumed)
                consumed(to);
            from = to;
        }
        return kind;
    };
    Passes passes(consumed);
    passes.begin(1);
    Utf8Check utf8(io::OutputCode::Utf8, input.substr(0, 3) == kByteOrderMark);
    if (utf8.read(input, passes.reporter(0)) && utf8.utf8())
        return "UTF-8" + io::codeStatus({io::CodeFamily::Sjis, lineEnds()});
    passes.begin(1);
    const io::CodeDetection code = io::detectCode(bytesOf(input), input.size(), passes.reporter(0));
    passes.begin(1);
    if (code.family == io::CodeFamily::Sjis &&
        isPlainShiftJis(input, false, io::OutputCode::Sjis, passes.reporter(0)))
        return io::codeStatus({code.family, lineEnds()});
    // The converters may move line ends: ask them, a piece at a time.
    io::CodeConvertStream stream(code, io::kTargetSjis);
    static_cast<void>(
        eachPiece(input, pieceBytes, consumed, [&](std::string_view piece, bool last) {
            static_cast<void>(stream.convert(piece, last));
            return true;
        }));
    return io::codeStatus(io::decodeConvertResult(stream.resultWord()));
}

} // namespace kestrova::stream
