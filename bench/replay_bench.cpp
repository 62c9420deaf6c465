// The replay as a host sees it, through the shared library's exports only:
// bars per second for every study on one chart (with and without intrabar
// updates, direct and through the DLL entry), the cost of one bar store,
// and the chart set at the live-state limit: 1000 states, one study each,
// fed the same 5,000 bars. Heap allocations are counted by replacing the
// global operator new; a study evaluation in steady state must make none.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "testing/allocation_counter.h"
#include "testing/quiet_stderr.h"
#include "replay/driver/library.h"
#include "replay/driver/replay.h"
#include "replay/driver/signals.h"
#include "replay/driver/trades.h"

namespace {

using namespace zt::replay;

// The shared library, loaded as the tool and the host load it.
const Exports& Lib() {
    static const Library library(ZT_LIBRARY_PATH);
    return library.exports();
}

// The rows go nowhere: the figures are the library's and the replay loop's.
struct NoRows : RowSink {
    void Row(const Bar&, const double*) override {}
};

using zt::test::QuietStandardError;

// Runs one replay per iteration; counts bars per second, time per bar, and
// the allocations made after the first bar (setup is done by then) per
// study evaluation.
void RunReplay(benchmark::State& st, const Series& series, ReplayOptions options) {
    long allocs = 0;
    double evaluations = 0, seconds = 0;
    std::size_t lastEvaluations = 0;
    long atFirstBar = 0;
    options.progress = [&](std::size_t done) {
        if (done == 1) atFirstBar = zt::test::AllocationCount();
        if (done == series.bars.size()) allocs += zt::test::AllocationCount() - atFirstBar;
    };
    const QuietStandardError quiet;
    for (auto _ : st) {
        SeriesBars source(series);
        NoRows rows;
        const ReplayStats r = Replay(Lib(), source, options, rows);
        lastEvaluations = r.evaluations;
        seconds += r.seconds;
        evaluations += static_cast<double>(r.evaluations) * static_cast<double>(series.bars.size() - 1) /
                       static_cast<double>(series.bars.size());
    }
    const auto bars = static_cast<double>(series.bars.size()) * static_cast<double>(st.iterations());
    st.SetItemsProcessed(static_cast<std::int64_t>(bars));  // items/s = bars per second
    st.counters["us_per_bar"] = seconds * 1e6 / bars;  // the bar loop alone, without setup
    st.counters["evals_per_bar"] = static_cast<double>(lastEvaluations) / static_cast<double>(series.bars.size());
    st.counters["allocs_per_eval"] = evaluations > 0 ? static_cast<double>(allocs) / evaluations : 0.0;
}

const Series& LongSeries() {
    static const Series s = SyntheticSeries(20000, 1);
    return s;
}

void AllStudiesOneChart(benchmark::State& st, bool viaDll) {
    ReplayOptions o;
    o.studies = AllStudies();
    o.ticks = static_cast<int>(st.range(0));
    o.viaDll = viaDll;
    RunReplay(st, LongSeries(), o);
}

// 1000 states, the studies assigned in turn, each fed the same 5,000 bars.
void ChartSetAtTheStateLimit(benchmark::State& st) {
    static const Series series = SyntheticSeries(5000, 2);
    ReplayOptions o;
    o.studies = AllStudies();
    o.states = 1000;
    o.ticks = static_cast<int>(st.range(0));
    RunReplay(st, series, o);
}

// One E_BARVALUES call on a state that has seen 250 bars: a new bar number
// (append, which commits the study memory) or the same one (replace).
void BarStore(benchmark::State& st, bool append) {
    const QuietStandardError quiet;
    const Series& s = LongSeries();
    // The library's own allocations reach the counter too: creating a state
    // makes some.
    const long beforeCreate = zt::test::AllocationCount();
    const Exports& x = Lib();
    const std::int32_t id = x.E_CREATESTATE2(1);
    st.counters["allocs_per_create"] = static_cast<double>(zt::test::AllocationCount() - beforeCreate);
    std::int32_t number = 0;
    for (; number < 250; ++number) {
        const Bar& b = s.bars[static_cast<std::size_t>(number)];
        x.E_BARVALUES(id, number + 1, HostDate(b.date), b.time, b.open, b.high, b.low, b.close, b.volume);
    }
    const Bar& b = s.bars[250];
    const long before = zt::test::AllocationCount();
    for (auto _ : st) {
        if (append) ++number;
        benchmark::DoNotOptimize(
            x.E_BARVALUES(id, number, HostDate(b.date), b.time, b.open, b.high, b.low, b.close, b.volume));
    }
    st.counters["allocs_per_store"] =
        static_cast<double>(zt::test::AllocationCount() - before) / static_cast<double>(st.iterations());
    x.E_DESTROYSTATE(id);
}

void TradeReplay(benchmark::State& st) {
    static const std::vector<Trade> trades = [] {
        std::vector<Trade> t;
        for (const Bar& b : SyntheticSeries(5000, 3).bars) {
            const int end = b.time / 100 * 3600 + b.time % 100 * 60;
            for (int k = 1; k <= 10; ++k) {
                const Bar f = FormingBar(b, k, 10);
                t.push_back({b.date, end - 300 + (k - 1) * 30, f.close, std::floor(b.volume / 10)});
            }
        }
        return t;
    }();
    ReplayOptions o;
    o.studies = AllStudies();
    const std::vector<Column> columns = ReplayColumns(o);
    const QuietStandardError quiet;
    for (auto _ : st) {
        TradesInMemory source(trades);
        TradeBars updates(source, Timeframe{300});
        NoRows rows;
        SignalReport report(columns);
        Replay(Lib(), updates, o, rows, st.range(0) != 0 ? &report : nullptr);
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(trades.size()) * st.iterations());  // trades per second
}

}  // namespace

BENCHMARK(TradeReplay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AllStudiesOneChart, direct, false)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AllStudiesOneChart, dll, true)->Arg(0)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(ChartSetAtTheStateLimit)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BarStore, append, true);
BENCHMARK_CAPTURE(BarStore, replace, false);

BENCHMARK_MAIN();
