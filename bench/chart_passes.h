// The chart benchmark's passes, shared by the native benchmark (the shared
// library through Google Benchmark) and the Windows one (zarntrade.dll under
// wine, timing itself): the same loop over the exports as the host calls them,
// so that both measure the same thing.
// One update is E_BARVALUES, the study entry and E_GETRETURN for every slot
// the study fills; one state per study instance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/driver/bars.h"
#include "replay/driver/library.h"
#include "replay/driver/study_table.h"

namespace zt::bench {

// The library every pass calls; set once before the first pass.
inline const replay::Exports* TheLibrary = nullptr;
inline void UseLibrary(const replay::Exports& exports) { TheLibrary = &exports; }
inline const replay::Exports& Lib() { return *TheLibrary; }

// Passes time themselves by the wall clock, or by the thread's CPU time.
void UseThreadClock(bool on);
bool ThreadClock();
double Now();  // seconds

// Keeps a value the optimiser would otherwise drop (as Google Benchmark's
// DoNotOptimize does).
template <class T>
inline void Keep(const T& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

// One study instance on the chart.
struct Instance {
    const replay::StudyInfo* study;
    std::int32_t id;
};

inline double Evaluate(const replay::StudyInfo& s, std::int32_t id) {
    return s.bands != nullptr ? (Lib().*s.bands)(id, 80, 14) : (Lib().*s.entry)(id);
}

inline void Update(const Instance& s, std::int32_t number, const replay::Bar& b) {
    const replay::Exports& lib = Lib();
    lib.E_BARVALUES(s.id, number, replay::HostDate(b.date), b.time, b.open, b.high, b.low, b.close, b.volume);
    Keep(Evaluate(*s.study, s.id));
    for (int k = 0; k < s.study->about->slots; ++k) Keep(lib.E_GETRETURN(s.id, k));
}

std::vector<Instance> CreateChart(const std::vector<const replay::StudyInfo*>& studies);
void DestroyChart(const std::vector<Instance>& chart);

// Every bar stored and evaluated once.
void FinalBarsOnly(const std::vector<Instance>& chart, const std::vector<replay::Bar>& bars);

// Every bar stored and evaluated as it stood halfway through its price path,
// then sent again with its final values and evaluated again. With a clock
// cost, returns the time of the second sends alone (each bar's block timed,
// less the cost of reading the clock); without, reads no clock.
double HalfwayThenFinalBars(const std::vector<Instance>& chart, const std::vector<replay::Bar>& bars,
                            const std::vector<replay::Bar>& halfway, const double* clockCost);

// Seconds for one pass over the bars on fresh states: all of it for new
// bars, the second sends alone with `resend` (with the thread clock: the
// whole pass with the halfway sends).
double Pass(const std::vector<const replay::StudyInfo*>& studies, const std::vector<replay::Bar>& bars,
            bool resend);

// ns per bar for new bars and for re-sent bars, the best of `rounds` rounds
// block by block (chart_passes.cpp).
struct ChartFigures {
    double newBar;
    double resend;
};
ChartFigures BestOf(const std::vector<const replay::StudyInfo*>& studies, const std::vector<replay::Bar>& bars,
                    int rounds);

// The whole table, one line per case ("all_34" and every study alone):
//   CASE NEW_NS RESEND_NS
// after a header line "# SERIES, N bars, best of R rounds". With `only`, the
// one case of that name (to profile one study alone).
void PrintChartTable(const replay::Series& series, int rounds, const std::string& only = "");

}  // namespace zt::bench
