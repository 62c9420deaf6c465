#include "studies/bar/stop_lines.h"

#include <new>

#include "include/zarntrade.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"
#include "studies/bar/window_studies.h"

namespace zt {

double StopLine(const BarRing& high, const BarRing& low, const BarRing& close, StopLineMemory& m) {
    StartRecord(m);
    const double e = MomentumAdjustedAverage(close);
    const double t = TripleTrendBlend(high, low, close, m.trend);
    return StopLineOf(m.lags, e, t);
}

double StopLineOf(StopLineLags& lags, double e, double t) {
    lags.maLagRing.push(e);
    lags.trendLagRing.push(t);
    return (lags.maLagRing.at(12) + lags.trendLagRing.at(3)) * 0.5;
}

double AutoStopLine(const BarRing& high, const BarRing& low, const BarRing& close, AutoStopLineMemory& m) {
    const bool starting = StartRecord(m);
    m.weightedRing.push((2 * close.at(0) + high.at(0) + low.at(0)) * 0.25);
    const double h = SimpleAverage(m.weightedRing, 3);
    if (starting) m.ema5State = m.ema3StateA = m.ema3StateB = h;
    double s = ExponentialAverage(h, m.ema5State, 5);
    s = ExponentialAverage(s, m.ema3StateA, 3);
    s = ExponentialAverage(s, m.ema3StateB, 3);
    m.smoothRing.push(s);
    return m.smoothRing.at(2);  // the value of two evaluations ago
}

MidpointPosition ClassifyMidpoint(double m, double stop, double tight) {
    const bool above = m > stop && m > tight;
    const bool below = m < stop && m < tight;
    const bool between = (stop < m && m < tight) || (tight < m && m < stop);
    return {between ? 2.0 : (below ? 1.0 : 0.0), above ? 1.0 : 0.0, below ? -1.0 : 0.0};
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_API double ZT_CALL E_ZARNSTOPLINE(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::stopLine>(stateId, [](StudyState& s, StopLineMemory& m, double*) {
        return StopLine(s.bars.high, s.bars.low, s.bars.close, m);
    });
}

ZT_API double ZT_CALL E_ZARNAUTOSTOP(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::autoStop>(stateId, [](StudyState& s, AutoStopLineMemory& m, double*) {
        return AutoStopLine(s.bars.high, s.bars.low, s.bars.close, m);
    });
}

// Where the bar's midpoint lies against the stop line and the tight stop:
// position 2 strictly between them, 1 below both, 0 otherwise (above both or
// touching either), with an above flag (1) and a below flag (-1).
ZT_API double ZT_CALL E_ZARNMP(std::int32_t stateId) {
    return EvaluateStudy(stateId, [](StudyState& s, double* slots) {
        // Without memory for the stop line's record the position means
        // nothing: answer 0.0 and write no slot, as the stop line would.
        if (!EnsureRecord<RecordSlot::stopLine>(s)) throw std::bad_alloc();
        const double m = (s.bars.high.at(0) + s.bars.low.at(0)) / 2;
        // The stop line's record on this state advances exactly as the stop
        // line's own evaluation advances it (restored from its committed
        // copy, then evaluated); the tight stop keeps no memory.
        const double stop = StopLine(s.bars.high, s.bars.low, s.bars.close, RestoreRecord<RecordSlot::stopLine>(s));
        const double tight = TightStopLevel(s.bars);
        const MidpointPosition p = ClassifyMidpoint(m, stop, tight);
        slots[1] = p.code;
        slots[2] = p.above;
        slots[3] = p.below;
        return m;
    });
}

}  // extern "C"
