// kestrova-cli's piece-by-piece path against its whole-input path: any bytes, any command, the
// pieces of random sizes. Both must give the same bytes, the same refusal and the same result
// word, and a refusal must write nothing.
#include "wholepath.h"

#include "stream/pipeline.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace kestrova;

void require(bool condition, const char* promise)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

// A tiny generator seeded by the input, for the piece sizes.
class Sizes
{
public:
    explicit Sizes(std::uint32_t seed)
        : m_state(seed | 1)
    {
    }
    std::size_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state % 97;
    }

private:
    std::uint32_t m_state;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    stream::Task o;
    constexpr stream::Command kCommands[] = {stream::Command::Align, stream::Command::Quote,
                                             stream::Command::Unquote, stream::Command::Widen,
                                             stream::Command::Convert};
    o.command = kCommands[data[0] % std::size(kCommands)];
    o.outputCode = static_cast<io::OutputCode>((data[0] >> 3) % 4);
    o.convertTo = (data[0] >> 5) % 4;
    o.crlf = (data[1] & 1) != 0;
    o.settings.Kinsoku = (data[1] >> 1) & 1;
    o.settings.ChgMode = (data[1] >> 2) % 3;
    o.settings.Columns = 1 + (data[1] >> 4) * 5;
    if (data[1] & 2)
        o.settings.EnterMes.clear();
    const std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);

    stream::StringOutput whole;
    const stream::RunResult expected = stream::runWhole(o, input, whole);
    Sizes sizes(static_cast<std::uint32_t>(data[2]) * 2654435761u);
    stream::StringOutput pieces;
    // Output held to the end, or for a few bytes only.
    const std::size_t held = data[2] & 1 ? stream::kHeldBytes : sizes.next();
    const stream::RunResult got = stream::runPipeline(
        o, input, pieces, [&] { return sizes.next(); }, {}, held);
    require(got.exitStatus == expected.exitStatus, "the same exit status");
    require(got.error == expected.error, "the same message");
    require(got.resultWord == expected.resultWord, "the same result word");
    require(pieces.text == whole.text, "the same bytes");
    require(got.exitStatus == stream::kExitDone || pieces.text.empty(), "a refusal writes nothing");
    return 0;
}
