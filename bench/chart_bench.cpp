// What the studies cost a chart, through the shared library's exports as the
// host calls them:
// - ns per update, one update being E_BARVALUES, the study entry and
//   E_GETRETURN for every slot the study fills: all 34 studies on one chart
//   (one state each, so per bar 34 updates) and every study alone, for a
//   new bar and for the forming bar sent again;
// - the heap bytes one state holds after running one study, and the peak
//   resident memory of a fresh process running 1000 states of one study.
//
// Options (before the Google Benchmark ones):
//   --series=FILE   bars to replay (default: the one-minute EuroStoxx future
//                   series of data/, or the built-in series when
//                   that file is absent)
//   --memory=0      skip the memory table (e.g. under callgrind)
//   --rounds=N      no Google Benchmark: the best of N rounds of every case
//                   as the plain table that the Windows benchmark prints too
//                   (bench/chart_bench_dll.cpp, scripts/bench_dll.sh)
//   --only=CASE     with --rounds: that case alone ("all_34" or a study's
//                   export name), e.g. to profile one study
//   --clock=thread  time the passes by the thread's CPU time instead of the
//                   wall clock: on a loaded machine it leaves out the time
//                   the benchmark waited for a processor (the re-send figure
//                   is then a pass with re-sends less one without)
// Run pinned and take the best of several runs:
//   taskset -c 1 zt_chart_bench --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
// The "resend" figure times, bar by bar, the second send of every bar (its
// final values, after the bar was stored and evaluated halfway formed), less
// the cost of reading the clock; with --clock=thread, whose reading costs too
// much to time single bars, it is the time of the pass with the halfway sends
// less the time of a pass without them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/chart_passes.h"
#include "testing/allocation_counter.h"
#include "testing/quiet_stderr.h"
#include "replay/driver/bars.h"
#include "replay/driver/library.h"
#include "replay/driver/study_table.h"

namespace {

using namespace zt::replay;
using namespace zt::bench;
using zt::test::QuietStandardError;

#ifndef ZT_BENCH_SERIES
#define ZT_BENCH_SERIES ""
#endif

Series& TheSeries() {
    static Series s;
    return s;
}

// The shared library, loaded as the host loads it.
const Exports& LoadedLibrary() {
    static const Library library(ZT_LIBRARY_PATH);
    return library.exports();
}

// The reported time is per bar: for the whole chart, every study's update.
void NewBar(benchmark::State& st, std::vector<const StudyInfo*> studies) {
    for (auto _ : st)
        st.SetIterationTime(Pass(studies, TheSeries().bars, false) / static_cast<double>(TheSeries().bars.size()));
}

void Resend(benchmark::State& st, std::vector<const StudyInfo*> studies) {
    for (auto _ : st) {
        double seconds = Pass(studies, TheSeries().bars, true);
        if (ThreadClock()) seconds = std::max(seconds - Pass(studies, TheSeries().bars, false), 0.0);
        st.SetIterationTime(seconds / static_cast<double>(TheSeries().bars.size()));
    }
}

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void Register(const std::string& name, const std::vector<const StudyInfo*>& studies) {
    for (auto* b : {benchmark::RegisterBenchmark((name + "/new_bar").c_str(), NewBar, studies),
                    benchmark::RegisterBenchmark((name + "/resend").c_str(), Resend, studies)})
        b->UseManualTime()->Iterations(1)->Unit(benchmark::kNanosecond)->ComputeStatistics("min", Fastest);
}

// Heap bytes that one state holds once the studies have run on it for 250
// bars, every study on every bar.
long StateBytes(const std::vector<const StudyInfo*>& studies) {
    const QuietStandardError quiet;
    const std::vector<Bar>& bars = TheSeries().bars;
    const long before = zt::test::LiveHeapBytes();
    const std::int32_t id = Lib().E_CREATESTATE2(1);
    for (std::size_t i = 0; i < 250 && i < bars.size(); ++i) {
        Lib().E_BARVALUES(id, static_cast<std::int32_t>(i + 1), HostDate(bars[i].date), bars[i].time, bars[i].open,
                    bars[i].high, bars[i].low, bars[i].close, bars[i].volume);
        for (const StudyInfo* s : studies) Keep(Evaluate(*s, id));
    }
    const long held = zt::test::LiveHeapBytes() - before;
    Lib().E_DESTROYSTATE(id);
    return held;
}

// The peak resident memory of this process, in KiB.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Run in a fresh process: 1000 states of one study (none for "-"), each fed
// 250 bars with the study evaluated on every bar; prints the peak resident
// memory in KiB.
int PeakResidentChild(const std::string& name) {
    const StudyInfo* study = name == "-" ? nullptr : FindStudy(name);
    if (name != "-" && study == nullptr) return 2;
    const QuietStandardError quiet;
    std::vector<Instance> states;
    if (study != nullptr)
        for (int i = 0; i < 1000; ++i) states.push_back({study, Lib().E_CREATESTATE2(1)});
    const std::vector<Bar>& bars = TheSeries().bars;
    for (std::size_t i = 0; i < 250 && i < bars.size(); ++i)
        for (const Instance& s : states) Update(s, static_cast<std::int32_t>(i + 1), bars[i]);
    std::printf("%ld\n", PeakResidentKiB());
    return 0;
}

long PeakResidentOf(const std::string& self, const std::string& series, const std::string& name) {
    const std::string command =
        "'" + self + "' --series='" + series + "' --peak_rss_child=" + name + " 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    long kib = -1;
    if (std::fscanf(child, "%ld", &kib) != 1) kib = -1;
    return pclose(child) == 0 ? kib : -1;
}

void PrintMemoryTable(const std::string& self, const std::string& series) {
    std::printf("Memory (%s):\n", TheSeries().source.c_str());
    std::printf("%-32s %16s %22s\n", "study", "bytes per state", "1000 states, peak RSS");
    std::printf("%-32s %16s %18.1f MiB\n", "(no states)", "-",
                static_cast<double>(PeakResidentOf(self, series, "-")) / 1024.0);
    std::vector<const StudyInfo*> all;
    for (const StudyInfo& s : Studies()) all.push_back(&s);
    std::printf("%-32s %16ld %22s\n", "(every study on one state)", StateBytes(all), "-");
    for (const StudyInfo& s : Studies()) {
        const long bytes = StateBytes({&s});
        const long kib = PeakResidentOf(self, series, std::string(s.name()));
        std::printf("%-32s %16ld %18.1f MiB\n", std::string(s.name()).c_str(), bytes,
                    static_cast<double>(kib) / 1024.0);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string series = ZT_BENCH_SERIES;
    std::string child;
    bool memory = true;
    int rounds = 0;
    std::string only;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--series=", 0) == 0)
            series = a.substr(9);
        else if (a.rfind("--peak_rss_child=", 0) == 0)
            child = a.substr(17);
        else if (a == "--memory=0")
            memory = false;
        else if (a == "--clock=thread")
            UseThreadClock(true);
        else if (a.rfind("--rounds=", 0) == 0)
            rounds = std::atoi(a.c_str() + 9);
        else if (a.rfind("--only=", 0) == 0)
            only = a.substr(7);
        else
            rest.push_back(argv[i]);
    }
    try {
        TheSeries() = !series.empty() && std::ifstream(series) ? ReadBarsCsv(series) : SyntheticSeries(7397, 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zt_chart_bench: %s\n", e.what());
        return 2;
    }
    try {
        UseLibrary(LoadedLibrary());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zt_chart_bench: %s\n", e.what());
        return 2;
    }
    if (!child.empty()) return PeakResidentChild(child);
    if (rounds > 0) {  // the table that scripts/bench_dll.sh sets beside the DLL's
        PrintChartTable(TheSeries(), rounds, only);
        return 0;
    }

    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    std::printf("Series: %s, %zu bars\n", TheSeries().source.c_str(), TheSeries().bars.size());
    if (memory) {
        char self[4096] = {};
        if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) PrintMemoryTable(self, series);
    }

    std::vector<const StudyInfo*> all;
    for (const StudyInfo& s : Studies()) all.push_back(&s);
    Register("chart/all_34", all);
    for (const StudyInfo* s : all) Register("study/" + std::string(s->name()), {s});
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
