// State snapshots: their size per study and for all 34 on one state, the
// time to save and to restore one state, and the daily update of 1,000
// symbols by one new bar from their snapshots against recomputing each
// symbol's 2,520 daily bars (ten years) from scratch.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "log/log.h"
#include "tests/study_calls.h"
#include "tests/study_table.h"
#include "testing/synthetic_bars.h"

namespace {

using zt::test::Bar;
using zt::test::StudyCall;

constexpr std::size_t kDailyBars = 2520;
constexpr int kSymbols = 1000;
constexpr std::uint64_t kSeries = 8;  // symbols share 8 series, in turn

const std::vector<Bar>& Series(std::uint64_t k) {
    static const std::vector<std::vector<Bar>> series = [] {
        std::vector<std::vector<Bar>> s;
        for (std::uint64_t i = 0; i < kSeries; ++i) s.push_back(zt::test::SyntheticBars(kDailyBars + 1, 100 + i));
        return s;
    }();
    return series[k % kSeries];
}

void Feed(std::int32_t id, const std::vector<StudyCall>& studies, const Bar& b, std::int32_t number) {
    E_BARVALUES(id, number, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
    for (StudyCall s : studies) s(id);
}

std::int32_t StateOver(const std::vector<StudyCall>& studies, std::size_t bars, std::uint64_t series) {
    const std::int32_t id = E_CREATESTATE2(0);
    for (std::size_t i = 0; i < bars; ++i) Feed(id, studies, Series(series)[i], static_cast<std::int32_t>(i + 1));
    return id;
}

std::vector<unsigned char> Save(std::int32_t id) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(zt_state_save(id, nullptr, 0)));
    zt_state_save(id, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return bytes;
}

std::vector<StudyCall> AllStudies() {
    std::vector<StudyCall> all;
    for (const zt::test::StudyInfo& s : zt::test::ExportedStudies()) all.push_back(zt::test::StudyByName(s.name));
    return all;
}

// Saving a state that has seen 250 bars of the studies; "bytes" is the
// snapshot's size.
void SaveState(benchmark::State& st, std::vector<StudyCall> studies) {
    const std::int32_t id = StateOver(studies, 250, 0);
    std::vector<unsigned char> buffer = Save(id);
    for (auto _ : st) benchmark::DoNotOptimize(zt_state_save(id, buffer.data(), static_cast<std::int32_t>(buffer.size())));
    st.counters["bytes"] = static_cast<double>(buffer.size());
    E_DESTROYSTATE(id);
}

// Restoring it into a new state (and destroying that state again).
void RestoreState(benchmark::State& st, std::vector<StudyCall> studies) {
    const std::int32_t source = StateOver(studies, 250, 0);
    const std::vector<unsigned char> bytes = Save(source);
    E_DESTROYSTATE(source);
    for (auto _ : st) {
        const std::int32_t id = zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), nullptr, 0);
        if (id == 0) st.SkipWithError("restore refused");
        E_DESTROYSTATE(id);
    }
    st.counters["bytes"] = static_cast<double>(bytes.size());
}

// 1,000 symbols, each recomputed over its 2,520 daily bars plus today's.
void DailyRecompute(benchmark::State& st, std::vector<StudyCall> studies) {
    for (auto _ : st)
        for (int k = 0; k < kSymbols; ++k) E_DESTROYSTATE(StateOver(studies, kDailyBars + 1, static_cast<std::uint64_t>(k)));
    st.counters["symbols"] = kSymbols;
}

// The same 1,000 symbols from yesterday's snapshots: restore, today's bar,
// the studies, save the new snapshot.
void DailyFromSnapshots(benchmark::State& st, std::vector<StudyCall> studies) {
    std::vector<std::vector<unsigned char>> yesterday;
    for (std::uint64_t k = 0; k < kSeries; ++k) {
        const std::int32_t id = StateOver(studies, kDailyBars, k);
        yesterday.push_back(Save(id));
        E_DESTROYSTATE(id);
    }
    std::vector<unsigned char> today(yesterday[0].size() * 2);
    for (auto _ : st)
        for (int k = 0; k < kSymbols; ++k) {
            const std::vector<unsigned char>& bytes = yesterday[static_cast<std::size_t>(k) % kSeries];
            const std::int32_t id = zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), nullptr, 0);
            Feed(id, studies, Series(static_cast<std::uint64_t>(k))[kDailyBars], static_cast<std::int32_t>(kDailyBars + 1));
            benchmark::DoNotOptimize(zt_state_save(id, today.data(), static_cast<std::int32_t>(today.size())));
            E_DESTROYSTATE(id);
        }
    st.counters["symbols"] = kSymbols;
}

void Register() {
    for (const zt::test::StudyInfo& s : zt::test::ExportedStudies()) {
        const std::vector<StudyCall> one = {zt::test::StudyByName(s.name)};
        benchmark::RegisterBenchmark((std::string("Save/") + s.name).c_str(), SaveState, one);
        benchmark::RegisterBenchmark((std::string("Restore/") + s.name).c_str(), RestoreState, one);
    }
    benchmark::RegisterBenchmark("Save/all_34", SaveState, AllStudies());
    benchmark::RegisterBenchmark("Restore/all_34", RestoreState, AllStudies());
    for (const auto& [name, studies] : {std::pair<std::string, std::vector<StudyCall>>{"E_ZARNUPSELL",
                                                                                      {zt::test::StudyByName("E_ZARNUPSELL")}},
                                        {"all_34", AllStudies()}}) {
        benchmark::RegisterBenchmark(("DailyUpdate1000/recompute_2520_bars/" + name).c_str(), DailyRecompute, studies)
            ->Unit(benchmark::kMillisecond)->Iterations(1);
        benchmark::RegisterBenchmark(("DailyUpdate1000/from_snapshots/" + name).c_str(), DailyFromSnapshots, studies)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    zt::TraceHook = [](unsigned, const char*, std::va_list) { return 0; };  // the trace kept quiet
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
