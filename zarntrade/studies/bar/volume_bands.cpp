#include "studies/bar/volume_bands.h"

#include <algorithm>
#include <limits>

#include "include/zarntrade.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {

BalanceVolumeSpikeResult BalanceVolumeSpike(const BarRing& close, const BarRing& volume,
                                            BalanceVolumeSpikeMemory& m) {
    StartRecord(m);
    // An unchanged close counts as a down bar.
    const double sign = close.at(0) > close.at(1) ? 1.0 : -1.0;
    m.balance += sign * volume.at(0);
    m.balanceRing.push(m.balance);
    const double e = ExponentialAverage(m.balanceRing.at(2), m.emaState, 3);
    const double value = e - m.balance;
    return {value, value < 0 ? 1.0 : 0.0, value > 0 ? -1.0 : 0.0};
}

double ShadowLine(const BarRing& high, const BarRing& low, const BarRing& close, const BarRing& volume,
                  ShadowLineMemory& m) {
    StartRecord(m);
    const double p =
        (high.at(0) + low.at(0)) / 2 + (2 * close.at(0) - close.at(1) - close.at(2)) * 1.382;
    m.pointRing.push(p);
    const double t = TriangularAverage(m.pointRing, m.triangleRing, 10);
    return VolumeAdjustedAverage(m.vama, t, volume.at(0));
}

void ErrorBands(std::int32_t period, std::int32_t smoothing, const BarRing& close, ErrorBandsMemory& m) {
    if (period != m.period || smoothing != m.smoothing) {
        // New lengths restart the bands from empty rings; the counter stays.
        m.period = period;
        m.smoothing = smoothing;
        m.lineRing.reset(static_cast<std::uint32_t>(smoothing));
        m.errorRing.reset(static_cast<std::uint32_t>(smoothing));
    }
    if (m.count < std::numeric_limits<std::int32_t>::max()) m.count += 1;
    const auto n = static_cast<std::uint32_t>(std::min(period, m.count));
    const auto s = static_cast<std::uint32_t>(smoothing);
    const RegressionFit fit = RegressionLineAndError(close, n, 0);
    m.lineRing.push(fit.value);
    m.middle = SimpleAverage(m.lineRing, s);
    m.errorRing.push(fit.standardError);
    const double err = SimpleAverage(m.errorRing, s);
    m.lower = m.middle - err;  // one standard error on each side, no multiplier
    m.upper = m.middle + err;
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_API double ZT_CALL E_ZARNVOLSPIKES(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::volSpikes>(stateId, [](StudyState& s, BalanceVolumeSpikeMemory& m, double* slots) {
        const BalanceVolumeSpikeResult r = BalanceVolumeSpike(s.bars.close, s.bars.volume, m);
        slots[1] = r.up;
        slots[2] = r.down;
        return r.value;
    });
}

ZT_API double ZT_CALL E_ZARNSHADOW(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::shadow>(stateId, [](StudyState& s, ShadowLineMemory& m, double*) {
        return ShadowLine(s.bars.high, s.bars.low, s.bars.close, s.bars.volume, m);
    });
}

// Lengths outside 1..200 (the bar history) are refused before anything is
// touched: below 1 they divide by zero, above it they would read wrapped
// history.
ZT_API double ZT_CALL E_ZARNEBANDS(std::int32_t stateId, std::int32_t period, std::int32_t smoothing) {
    if (period < 1 || period > kMaxBandLength || smoothing < 1 || smoothing > kMaxBandLength) return 0.0;
    // The whole record is restored, the counter included, so the regression
    // length follows the evaluated bars and a re-sent forming bar changes
    // nothing.
    return EvaluateStudy<RecordSlot::errorBands>(stateId, [period, smoothing](StudyState& s, ErrorBandsMemory& m,
                                                                             double* slots) {
        ErrorBands(period, smoothing, s.bars.close, m);
        slots[1] = m.lower;
        slots[2] = m.upper;
        return m.middle;
    });
}

}  // extern "C"
