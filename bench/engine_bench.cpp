// Engine throughput on real prose: a 32 KB mail-sized text, and the same bytes as short lines
// and as one whole paragraph per line, so that time per byte can be compared.
#include "engine/reflow.h"
#include "io/textcodec.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

using namespace kestrova;

std::u16string corpusText(std::size_t bytes)
{
    const char* dir = std::getenv("KESTROVA_CORPUS");
    const std::string path = std::string(dir ? dir : ".") + "/prose-utf8.txt";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("no corpus at " + path + " (set KESTROVA_CORPUS)");
    std::string data(std::istreambuf_iterator<char>(in), {});
    data.resize(std::min(data.size(), bytes * 2));
    std::u16string text = io::decodeUtf8(data);
    // Cut at a line end near the wanted size, counted in code page 932 columns.
    std::size_t width = 0, end = 0;
    for (std::size_t i = 0; i < text.size() && width < bytes; ++i) {
        width += text[i] < 0x80 ? 1 : 2;
        if (text[i] == u'\n')
            end = i + 1;
    }
    text.resize(end);
    return text;
}

std::u16string joinLines(const std::u16string& text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

void run(benchmark::State& state, const std::u16string& text, int kinsoku)
{
    engine::ReflowSettings settings;
    settings.Kinsoku = kinsoku;
    engine::ReflowState reflow;
    for (auto _ : state) {
        std::u16string out = engine::TextUpdate(text, settings, reflow);
        benchmark::DoNotOptimize(out.data());
    }
    // Bytes as the Shift_JIS form of the text counts them.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(engine::textWidth(text)));
}

void BM_TextUpdate32K(benchmark::State& state)
{
    static const std::u16string text = corpusText(32 * 1024);
    run(state, text, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_TextUpdate32K)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_TextUpdate64KLines(benchmark::State& state)
{
    static const std::u16string text = corpusText(64 * 1024);
    run(state, text, 1);
}
BENCHMARK(BM_TextUpdate64KLines)->Unit(benchmark::kMicrosecond);

void BM_TextUpdate64KOneParagraph(benchmark::State& state)
{
    static const std::u16string text = joinLines(corpusText(64 * 1024));
    run(state, text, 1);
}
BENCHMARK(BM_TextUpdate64KOneParagraph)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
