#include "studies/bar/trend_bias.h"

#include <cmath>

#include "include/zarntrade.h"
#include "series/adaptive_averages.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {

double TrendBiasLine(const BarRing& high, const BarRing& low, const BarRing& close, TrendBiasMemory& m) {
    const bool starting = StartRecord(m);
    const double c = close.at(0);
    if (starting) m.fastState = m.slowState = c;
    const double d = ExponentialAverageDifference(c, m.fastState, m.slowState, 9, 90);
    m.midRing.push(d + (high.at(0) + low.at(0)) / 2);
    const double value = (SimpleAverage(m.midRing, 5) + c) * 0.5;
    if (starting) m.signalState = value;
    ExponentialAverage(value, m.signalState, 12);
    return value;
}

ShortTermBiasResult ShortTermBias(const BarRing& high, const BarRing& low, const BarRing& close,
                                  ShortTermBiasMemory& m) {
    StartRecord(m);
    const double e = MomentumAdjustedAverage(close);
    const double t = TripleTrendBlend(high, low, close, m.trend);
    return ShortTermBiasOf(m.biasRing, e, t);
}

ShortTermBiasResult ShortTermBiasOf(Ring<4>& biasRing, double e, double t) {
    const double value = e - t;
    biasRing.push(value);
    return {value, value > 0 ? value : 0.0, biasRing.at(3)};
}

double ChannelIndex(const BarRing& high, const BarRing& low, const BarRing& close, ChannelIndexMemory& m) {
    StartRecord(m);
    const double mean = (SimpleAverage(high, 14) + SimpleAverage(low, 14) + SimpleAverage(close, 14)) / 3;
    const double typical = (high.at(0) + low.at(0) + close.at(0)) / 3;
    const double dev = typical - mean;
    m.deviationRing.push(std::fabs(dev));
    const double spread = StandardDeviation(m.deviationRing, 14, SimpleAverage(m.deviationRing, 14));
    const double divisor = 2 * spread * 0.015;
    if (divisor == 0.0) return 0.0;  // all 14 deviations equal: no defined ratio
    return dev / divisor;
}

double TrueStrengthOscillator(const BarRing& close, TrueStrengthMemory& m) {
    const double d = close.at(0) - close.at(1);
    const bool starting = StartRecord(m);
    if (starting) {
        m.changeState1 = m.changeState2 = d;
        m.absState1 = m.absState2 = std::fabs(d);
    }
    const double num = ExponentialAverage(ExponentialAverage(d, m.changeState1, 25), m.changeState2, 13);
    const double den = ExponentialAverage(ExponentialAverage(std::fabs(d), m.absState1, 25), m.absState2, 13);
    const double index = den == 0.0 ? 0.0 : 100 * num / den;
    m.tsiRing.push(index);
    if (starting) m.signalState = index;
    const double signal = VariableIndexAverage(m.tsiRing, m.signalState, 15);
    m.spread = m.tsiRing.at(3) - signal;  // the index of three bars ago against today's signal
    m.positivePart = index > signal ? index - signal : 0.0;
    m.negativePart = index < signal ? index - signal : 0.0;
    return index;
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_API double ZT_CALL E_ZARNTRENDBIAS(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::trendBias>(stateId, [](StudyState& s, TrendBiasMemory& m, double* slots) {
        const double value = TrendBiasLine(s.bars.high, s.bars.low, s.bars.close, m);
        slots[1] = m.signalState;
        return value;
    });
}

ZT_API double ZT_CALL E_ZARNSHORTTERMTRADEBIAS(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::shortTermBias>(stateId, [](StudyState& s, ShortTermBiasMemory& m, double* slots) {
        const ShortTermBiasResult r = ShortTermBias(s.bars.high, s.bars.low, s.bars.close, m);
        slots[1] = r.positive;
        slots[2] = r.lagged;
        return r.value;
    });
}

ZT_API double ZT_CALL E_ZARNCHANNELBASE(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::channelBase>(stateId, [](StudyState& s, ChannelIndexMemory& m, double*) {
        return ChannelIndex(s.bars.high, s.bars.low, s.bars.close, m);
    });
}

// Reports the strength index's parts against its signal, not the index.
ZT_API double ZT_CALL E_ZARNMEDIUM(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::medium>(stateId, [](StudyState& s, TrueStrengthMemory& m, double* slots) {
        TrueStrengthOscillator(s.bars.close, m);
        slots[1] = m.positivePart;
        slots[2] = m.negativePart;
        return m.spread;
    });
}

}  // extern "C"
