// A small host: creates a chart context and a state, feeds it a few bars
// through the exported interface and prints the registry report.
#include <cstdio>

#include "include/zarntrade.h"

int main() {
    Dll_Add(1);
    Dll_Context(1);
    const int32_t id = E_CREATESTATE2(1);
    for (int32_t bar = 1; bar <= 5; ++bar) {
        const double close = 100.0 + bar;
        E_BARVALUES(id, bar, 1261207, 930 + bar, close - 0.5, close + 1.0, close - 1.0, close, 1000.0 * bar);
    }
    std::printf("state %d holds 5 bars\n", id);
    LogMemoryReport();
    Dll_Free(1);
    return 0;
}
