// kestrova-command's batch interpreter on long runs of SET lines: the time per line must not
// grow with the number of variables already set.
#include "pgp/interpreter.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

using namespace kestrova;

void SetLines(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    std::string batch;
    for (std::size_t i = 0; i < count; ++i)
        batch += "SET KESTROVA_BENCH_" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
    for (auto _ : state) {
        pgp::Variables variables = pgp::environmentVariables();
        benchmark::DoNotOptimize(pgp::runBatchText(batch, variables, {}));
        state.PauseTiming();
        for (std::size_t i = 0; i < count; ++i)
            ::unsetenv(("KESTROVA_BENCH_" + std::to_string(i)).c_str());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
BENCHMARK(SetLines)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
