#include "bench/chart_passes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>

#include "testing/quiet_stderr.h"

namespace zt::bench {

using namespace zt::replay;
using zt::test::QuietStandardError;

namespace {
bool threadClock = false;
}  // namespace

void UseThreadClock(bool on) { threadClock = on; }
bool ThreadClock() { return threadClock; }

double Now() {
    if (threadClock) {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<Instance> CreateChart(const std::vector<const StudyInfo*>& studies) {
    const QuietStandardError quiet;
    std::vector<Instance> chart;
    for (const StudyInfo* s : studies) chart.push_back({s, Lib().E_CREATESTATE2(1)});
    return chart;
}

void DestroyChart(const std::vector<Instance>& chart) {
    const QuietStandardError quiet;
    for (const Instance& s : chart) Lib().E_DESTROYSTATE(s.id);
}

// Its own function, so that callgrind can count it alone:
// --toggle-collect='*FinalBarsOnly*'.
[[gnu::noinline]] void FinalBarsOnly(const std::vector<Instance>& chart, const std::vector<Bar>& bars) {
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto number = static_cast<std::int32_t>(i + 1);
        for (const Instance& s : chart) Update(s, number, bars[i]);
    }
}

[[gnu::noinline]] double HalfwayThenFinalBars(const std::vector<Instance>& chart, const std::vector<Bar>& bars,
                                              const std::vector<Bar>& halfway, const double* clockCost) {
    double seconds = 0.0;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto number = static_cast<std::int32_t>(i + 1);
        for (const Instance& s : chart) Update(s, number, halfway[i]);
        if (clockCost == nullptr) {
            for (const Instance& s : chart) Update(s, number, bars[i]);
            continue;
        }
        const double start = Now();
        for (const Instance& s : chart) Update(s, number, bars[i]);
        seconds += Now() - start - *clockCost;
    }
    return seconds;
}

namespace {

// What reading the clock twice costs on average, as the timed blocks pay it.
double ClockCost() {
    constexpr int kTries = 20000;
    double total = 0.0;
    for (int i = 0; i < kTries; ++i) {
        const double a = Now();
        total += Now() - a;
    }
    return total / kTries;
}

}  // namespace

double Pass(const std::vector<const StudyInfo*>& studies, const std::vector<Bar>& bars, bool resend) {
    const std::vector<Instance> chart = CreateChart(studies);
    double seconds = 0.0;
    if (resend) {
        std::vector<Bar> halfway;
        for (const Bar& b : bars) halfway.push_back(FormingBar(b, 1, 2));
        if (threadClock) {
            const double start = Now();
            HalfwayThenFinalBars(chart, bars, halfway, nullptr);
            seconds = Now() - start;
        } else {
            static const double clockCost = ClockCost();
            seconds = HalfwayThenFinalBars(chart, bars, halfway, &clockCost);
        }
    } else {
        const double start = Now();
        FinalBarsOnly(chart, bars);
        seconds = Now() - start;
    }
    DestroyChart(chart);
    return seconds;
}

namespace {

// Adds one pass over the bars on fresh states, timed in blocks of `block`
// bars, to the least time seen so far for each block. With `halfway`, every
// bar is sent halfway formed and then final, as in HalfwayThenFinalBars.
void TimeBlocks(const std::vector<const StudyInfo*>& studies, const std::vector<Bar>& bars,
                const std::vector<Bar>* halfway, std::size_t block, double clockCost, std::vector<double>& best) {
    const std::vector<Instance> chart = CreateChart(studies);
    for (std::size_t first = 0, b = 0; first < bars.size(); first += block, ++b) {
        const std::size_t end = std::min(bars.size(), first + block);
        const double start = Now();
        for (std::size_t i = first; i < end; ++i) {
            const auto number = static_cast<std::int32_t>(i + 1);
            if (halfway != nullptr)
                for (const Instance& s : chart) Update(s, number, (*halfway)[i]);
            for (const Instance& s : chart) Update(s, number, bars[i]);
        }
        best[b] = std::min(best[b], Now() - start - clockCost);
    }
    DestroyChart(chart);
}

double Sum(const std::vector<double>& v) {
    double total = 0.0;
    for (double x : v) total += x;
    return total;
}

}  // namespace

// Each round is a pass of final bars and a pass of halfway-then-final bars,
// timed in blocks of bars that take some 10 us; a block's time is the least
// of its rounds (on a busy machine a round that lost the processor, or came
// back to cold caches, loses only the blocks it was interrupted in). The
// re-send figure is the second pass less the first: what the second send of
// every bar adds.
ChartFigures BestOf(const std::vector<const StudyInfo*>& studies, const std::vector<Bar>& bars, int rounds) {
    static const double clockCost = threadClock ? 0.0 : ClockCost();
    const double warm = Pass(studies, bars, false) / static_cast<double>(bars.size());  // also warms up
    std::size_t block = 1;
    while (block < 1024 && static_cast<double>(block) * warm < 10e-6) block *= 2;
    const std::size_t blocks = (bars.size() + block - 1) / block;
    std::vector<Bar> halfway;
    for (const Bar& b : bars) halfway.push_back(FormingBar(b, 1, 2));
    std::vector<double> finalOnly(blocks, std::numeric_limits<double>::infinity());
    std::vector<double> withResend(finalOnly);
    for (int r = 0; r < rounds; ++r) {
        TimeBlocks(studies, bars, nullptr, block, clockCost, finalOnly);
        TimeBlocks(studies, bars, &halfway, block, clockCost, withResend);
    }
    const double perBar = 1e9 / static_cast<double>(bars.size());
    const double newBar = Sum(finalOnly);
    return {newBar * perBar, std::max(Sum(withResend) - newBar, 0.0) * perBar};
}

void PrintChartTable(const Series& series, int rounds, const std::string& only) {
    std::printf("# %s, %zu bars, best of %d rounds\n", series.source.c_str(), series.bars.size(), rounds);
    std::vector<const StudyInfo*> all;
    for (const StudyInfo& s : Studies()) all.push_back(&s);
    const auto line = [&](const std::string& name, const std::vector<const StudyInfo*>& studies) {
        if (!only.empty() && name != only) return;
        const ChartFigures f = BestOf(studies, series.bars, rounds);
        std::printf("%s %.1f %.1f\n", name.c_str(), f.newBar, f.resend);
        std::fflush(stdout);
    };
    line("all_34", all);
    for (const StudyInfo* s : all) line(std::string(s->name()), {s});
}

}  // namespace zt::bench
