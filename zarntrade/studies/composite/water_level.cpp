#include "studies/composite/water_level.h"

#include "include/zarntrade.h"
#include "studies/study_entry.h"

namespace zt {

double WaterLevelLine(WaterLevelLineMemory& m, const BarRings& bars, double x) {
    const auto& h = bars.high;
    const auto& c = bars.close;
    const double median = (bars.low.at(0) + h.at(0)) / 2;
    double d = PerMedian(median + (c.at(0) - c.at(4)) - x, median);
    d = d + (h.at(0) - h.at(2)) / 3 + c.at(0) + h.at(2);
    if (StartRecord(m)) m.levelState = d;
    m.levelRing.push(d);
    // Reads the point of twelve bars ago: for the first twelve bars the ring
    // there is still zero and flat, so the level holds half the first point.
    return VariableIndexAverage(m.levelRing, m.levelState, 24, 12) * 0.5;
}

double WaterLevelTrigger(double a, double b, double t, double c0) {
    // Worked out without branches, which could not learn from prices: at
    // most one of the two holds (a > b and a < b exclude each other, NaN
    // makes both false), so the difference is +1, -1 or +0.0.
    const int up = static_cast<int>(a > b) & static_cast<int>(t < c0);
    const int down = static_cast<int>(a < b) & static_cast<int>(t > c0);
    return static_cast<double>(up - down);
}

}  // namespace zt

using namespace zt;

extern "C" {

// A slow water level on the price chart: half a variable-index average of
// the median, the close momentum and the composite lower line, twelve bars
// late.
ZT_API double ZT_CALL E_ZARNWATERLEVEL(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::waterLevel>(stateId, [](StudyState& s, WaterLevelMemory& m, double*) {
        const auto bars = RingsOf(s.bars);
        return WaterLevelLine(m.level, bars, LowerLine(m.sar, bars));
    });
}

// +1 when the close is above the mean of the water level and a 140-bar
// regression of the close while the composite line rises above its average,
// -1 in the mirror case, else 0.
ZT_API double ZT_CALL E_ZARNTRIGGERWATERLEVELUPDOWN(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::triggerWaterLevel>(stateId, [](StudyState& s, TriggerWaterLevelMemory& m, double*) {
        const auto bars = RingsOf(s.bars);
        StartRecord(m);
        // Reads 140 closes; on a young chart the unfilled slots count as 0.
        // Worked out first (it depends on nothing else), so that its long
        // chain of additions runs while the composite signal is computed.
        const double r = LinearRegressionValue(bars.close, 140, 0);
        const double a = CompositeLines(m.lines, bars);
        const double b = BufferedVariableIndexAverage(m.lineAverage, a);
        const double w = WaterLevelLine(m.level, bars, m.lines.lowerLine);
        const double t = (r + w) / 2;
        return WaterLevelTrigger(a, b, t, bars.close.at(0));
    });
}

}  // extern "C"
