// The chart benchmark of the Windows DLL as the platform loads it:
// zarntrade.dll found by name (LoadLibrary, then every export by
// GetProcAddress), driven by the same passes as the native benchmark
// (bench/chart_passes.h) and timing itself, since Google Benchmark is not
// built for Windows here. Prints the table that scripts/bench_dll.sh sets
// beside the native one:
//   zt_chart_bench_dll.exe [--series=FILE] [--rounds=N] [--library=FILE] [--only=CASE]
// (defaults: the one-minute EuroStoxx future series, 3 rounds,
// "zarntrade.dll" from the program's own folder and the DLL search path).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "bench/chart_passes.h"

#ifndef ZT_BENCH_SERIES
#define ZT_BENCH_SERIES ""
#endif

int main(int argc, char** argv) {
    using namespace zt::replay;
    std::string series = ZT_BENCH_SERIES;
    std::string library = "zarntrade.dll";
    std::string only;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--series=", 0) == 0) {
            series = a.substr(9);
        } else if (a.rfind("--rounds=", 0) == 0) {
            rounds = std::atoi(a.c_str() + 9);
        } else if (a.rfind("--library=", 0) == 0) {
            library = a.substr(10);
        } else if (a.rfind("--only=", 0) == 0) {
            only = a.substr(7);
        } else {
            std::fprintf(stderr, "usage: zt_chart_bench_dll [--series=FILE] [--rounds=N] [--library=FILE] [--only=CASE]\n");
            return 2;
        }
    }
    if (rounds < 1) rounds = 1;
    try {
        const Series bars =
            !series.empty() && std::ifstream(series) ? ReadBarsCsv(series) : SyntheticSeries(7397, 1);
        const Library dll(library);
        zt::bench::UseLibrary(dll.exports());
        zt::bench::PrintChartTable(bars, rounds, only);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zt_chart_bench_dll: %s\n", e.what());
        return 2;
    }
    return 0;
}
