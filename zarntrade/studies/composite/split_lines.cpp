#include "studies/composite/split_lines.h"

#include "include/zarntrade.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {
namespace {

// The part both lines share once the momentum a, the stop and the low-side
// term are known: the slow line, then the swing midpoint of a against it.
double SplitSwing(SwingMidpointMemory& swing, const BarRings& bars, double a, double sar, double low) {
    const double h0 = bars.high.at(0);
    const double l0 = bars.low.at(0);
    const double median = (h0 + l0) / 2;
    const double slow = SlowLine(bars, median, (sar + low + l0) / 3);
    return SwingMidpoint(swing, h0, l0, a, slow);
}

}  // namespace

double SplitLine(SplitLineMemory& m, const BarRings& bars) {
    StartRecord(m);
    const double a = SmoothedMedianMomentum(m.medianMomentum, bars, 4, 6);
    const double sar = ParabolicSar(bars.high, bars.low, m.sar, 0.02, 0.2);
    return SplitLineOf(m.swing, bars, a, sar);
}

double SplitLineOf(SwingMidpointMemory& swing, const BarRings& bars, double a, double sar) {
    return SplitSwing(swing, bars, a, sar, DisplacedWeightedAverage(bars.low, 6, 5));
}

double ModSplitLine(ModSplitLineMemory& m, const BarRings& bars) {
    if (StartRecord(m)) m.lowState = bars.low.at(5);
    const double a = SmoothedMedianMomentum(m.medianMomentum, bars, 2, 4);
    const double sar = ParabolicSar(bars.high, bars.low, m.sar, 0.02, 0.2);
    const double low = ExponentialAverage(bars.low.at(5), m.lowState, 4);
    return SplitSwing(m.swing, bars, a, sar, low);
}

}  // namespace zt

using namespace zt;

extern "C" {

// A price line that steps between swings: the midpoint of the last swing high
// and low, recorded where the median momentum (4, 6) crosses the slow line.
ZT_API double ZT_CALL E_ZARN115SPLIT(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::split115>(stateId, [](StudyState& s, SplitLineMemory& m, double*) {
        return SplitLine(m, RingsOf(s.bars));
    });
}

// The split line with a faster momentum (2, 4) and a smoothed low side: it
// steps sooner.
ZT_API double ZT_CALL E_ZARNMODSPLIT(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::modSplit>(stateId, [](StudyState& s, ModSplitLineMemory& m, double*) {
        return ModSplitLine(m, RingsOf(s.bars));
    });
}

}  // extern "C"
