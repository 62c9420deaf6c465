#include "studies/composite/scorecard.h"

#include "include/zarntrade.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {

double ScorecardLine(ScorecardLineMemory& m, const BarRings& bars) {
    StartRecord(m);
    const auto& high = bars.high;
    const auto& low = bars.low;
    const auto& close = bars.close;
    const auto& volume = bars.volume;
    const double c0 = close.at(0);

    // 1. Momentum of the cumulative volume ratio and the close.
    m.ratioRing.push(CumulativeVolumeRatio(volume, m.cumulativeVolume, m.cumulativeRatio));
    const double n = DisplacedSimpleAverage(m.ratioRing, 3, 3) + (c0 - close.at(9));
    m.momentumRing.push(n);
    m.mixRing.push(n + c0 - m.momentumRing.at(3));
    const double x = DisplacedSimpleAverage(m.mixRing, 3, 3) - DisplacedWeightedAverage(m.mixRing, 10, 4);
    m.levelRing.push(BufferedVariableIndexAverage(m.levelAverage, x) + c0);
    const double t = BufferedVariableIndexAverage(m.trendAverage, DisplacedSimpleAverage(m.levelRing, 2, 3));
    m.trendRing.push(t);
    const double k = m.trendRing.at(3);

    // 2. Volume pressure around the median; a bar with no median pushes -k.
    const double median = (high.at(0) + low.at(0)) / 2;
    const double va = SimpleAverage(volume, 2);
    const double vw = WeightedAverage(volume, 25);
    m.pressureRing.push(median != 0.0 ? median + (k + va - vw) / median - k : -k);
    const double a = DisplacedSimpleAverage(m.pressureRing, 9, 2);

    // 3. Smoothed median momentum and the smoothed stop.
    m.medianMomentumRing.push(median + (c0 - close.at(4)));
    const double s = BufferedVariableIndexAverage(m.sarAverage, ParabolicSar(high, low, m.sar, 0.02, 0.2));
    const auto& mm = m.medianMomentumRing;
    m.averageRing.push((mm.at(0) + mm.at(1) + mm.at(2)) / 3);
    const double b = DisplacedSimpleAverage(m.averageRing, 6, 2);

    // 4. The oscillator and its delayed weighted average.
    const double result = (median + a) - 0.25 * b - 0.75 * s;
    m.resultRing.push(result);
    m.averagedResult = DisplacedWeightedAverage(m.resultRing, 8, 3);
    return result;
}

}  // namespace zt

using namespace zt;

// An oscillator in its own panel: the median price plus a volume-pressure
// term minus a smoothed momentum and stop blend. Slot 1 holds its 8-bar
// weighted average three bars back (the signal line), slots 2 and 3 its
// negative and positive parts for the histogram.
extern "C" ZT_API double ZT_CALL E_ZARNSCORECARD(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::scorecard>(stateId, [](StudyState& s, ScorecardLineMemory& m, double* slots) {
        const double result = ScorecardLine(m, RingsOf(s.bars));
        slots[1] = m.averagedResult;
        slots[2] = result < 0 ? result : 0.0;
        slots[3] = result > 0 ? result : 0.0;
        return result;
    });
}
