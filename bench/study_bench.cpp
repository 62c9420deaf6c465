// Cost of the library's hot paths: every study evaluated in steady state (a
// state holding 250 bars, the host re-sending the forming bar), storing a
// bar (append and replace), and the heap allocations each makes: the global
// allocator is counted, and steady state must allocate nothing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "testing/allocation_counter.h"
#include "log/log.h"
#include "store/registry.h"
#include "tests/study_calls.h"
#include "testing/synthetic_bars.h"

namespace {

using zt::test::Bar;

const std::vector<Bar>& Series() {
    static const std::vector<Bar> bars = zt::test::SyntheticBars(400, 17);
    return bars;
}

// A state that has seen 250 bars with the study evaluated on each.
std::int32_t WarmState(zt::test::StudyCall study) {
    const std::int32_t id = E_CREATESTATE2(1);
    for (std::int32_t n = 1; n <= 250; ++n) {
        const Bar& b = Series()[static_cast<std::size_t>(n - 1)];
        E_BARVALUES(id, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
        if (study != nullptr) study(id);
    }
    return id;
}

// The host re-sends the forming bar with a new close and evaluates again.
void StudyEvaluation(benchmark::State& st, zt::test::StudyCall study) {
    const std::int32_t id = WarmState(study);
    const Bar& b = Series()[250];
    double close = b.close;
    const long before = zt::test::AllocationCount();
    std::int64_t evaluations = 0;
    for (auto _ : st) {
        close = close == b.close ? b.high : b.close;
        E_BARVALUES(id, 251, b.date, b.time, b.open, b.high, b.low, close, b.volume);
        benchmark::DoNotOptimize(study(id));
        ++evaluations;
    }
    st.counters["allocs_per_eval"] =
        static_cast<double>(zt::test::AllocationCount() - before) / static_cast<double>(evaluations ? evaluations : 1);
    E_DESTROYSTATE(id);
}

// Storing bars: appends (which commit the study memory) and replacements.
void BarStore(benchmark::State& st, bool append) {
    const std::int32_t id = WarmState(nullptr);
    const Bar& b = Series()[251];
    std::int32_t number = 251;
    const long before = zt::test::AllocationCount();
    for (auto _ : st) {
        if (append) ++number;
        benchmark::DoNotOptimize(E_BARVALUES(id, number, b.date, b.time, b.open, b.high, b.low, b.close, b.volume));
    }
    st.counters["allocs_per_store"] =
        static_cast<double>(zt::test::AllocationCount() - before) / static_cast<double>(st.iterations() ? st.iterations() : 1);
    E_DESTROYSTATE(id);
}

}  // namespace

int main(int argc, char** argv) {
    zt::TraceHook = nullptr;  // creating states would trace a line each
    std::printf("StudyState without records: %zu bytes (zt_chart_bench reports what each study adds)\n",
                sizeof(zt::StudyState));
    for (const auto& info : zt::test::ExportedStudies())
        benchmark::RegisterBenchmark(info.name, StudyEvaluation, zt::test::StudyByName(info.name));
    benchmark::RegisterBenchmark("E_BARVALUES/append", BarStore, true);
    benchmark::RegisterBenchmark("E_BARVALUES/replace", BarStore, false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
