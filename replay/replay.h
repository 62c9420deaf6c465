// Drives the library as the charting host does: one chart context, one study
// state per study instance, and for every bar (and every intrabar update of
// the forming bar) E_BARVALUES, the study entry and E_GETRETURN for each
// slot the study fills. Only the library's exports are called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "replay/bars.h"
#include "replay/study_table.h"

namespace zt::replay {

struct ReplayOptions {
    std::vector<const StudyInfo*> studies;  // in column order
    int ticks = 0;               // intrabar updates sent before a bar's final values
    bool viaDll = false;         // route what the DLL entry knows through it
    std::int32_t bandsPeriod = 80;
    std::int32_t bandsSmoothing = 14;
    // Study states on the chart: the studies are assigned to them in turn.
    // 0 means one state per study.
    int states = 0;
    std::int32_t context = 1;
    // Called after every bar with (bars done, bars in all).
    std::function<void(std::size_t, std::size_t)> progress;
};

struct Column {
    const StudyInfo* study;
    int slot;
    std::string name;  // "E_ZARNMP.position"
};

struct ReplayResult {
    std::vector<Column> columns;
    std::vector<double> values;  // row-major, one row per bar
    std::size_t evaluations = 0;  // study entry calls in all
    double seconds = 0.0;          // time spent in the bar loop
    const double* Row(std::size_t bar) const { return values.data() + bar * columns.size(); }
};

// Raised when the library does not behave as its contract says (a state
// not created, a bar not stored, the DLL entry not answering a study it
// lists, or two states of the same study disagreeing).
class ReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

ReplayResult Replay(const Series& series, const ReplayOptions& options);

// The columns of the selected studies, in order.
std::vector<Column> ColumnsOf(const std::vector<const StudyInfo*>& studies);

}  // namespace zt::replay
