#include "series/trend_blends.h"

#include <algorithm>

#include "series/adaptive_averages.h"

namespace zt {

double ParabolicSar(const BarRing& high, const BarRing& low,
                    ParabolicSarMemory& m, double step, double cap) {
    const double h0 = high.at(0);
    const double l0 = low.at(0);
    if (StartRecord(m)) {
        // Start short with the stop on the high: the reversal test below
        // fires at once, so the line really starts long on this bar.
        m.direction = -1;
        m.stop = h0;
        m.extremeHigh = h0;
        m.extremeLow = l0;
        m.factor = 0.0;
    }

    const double prevHigh = m.extremeHigh;
    const double prevLow = m.extremeLow;
    if (h0 > m.extremeHigh) m.extremeHigh = h0;
    if (l0 < m.extremeLow) m.extremeLow = l0;

    if (m.direction > 0) {
        if (l0 <= m.stop) {  // touching the stop is enough to reverse
            const double result = m.extremeHigh;
            m.direction = -1;
            m.extremeHigh = h0;
            m.extremeLow = l0;
            m.factor = step;
            m.stop = result + step * (l0 - result);
            if (m.stop < h0) m.stop = h0;
            if (m.stop < high.at(1)) m.stop = high.at(1);
            return result;
        }
        const double result = m.stop;
        // Only a strictly higher high accelerates; an equal one does not.
        if (m.extremeHigh > prevHigh && m.factor < cap)
            m.factor = std::min(m.factor + step, cap);
        m.stop = m.stop + m.factor * (m.extremeHigh - m.stop);
        if (m.stop > l0) m.stop = l0;
        if (m.stop > low.at(1)) m.stop = low.at(1);
        return result;
    }

    if (h0 >= m.stop) {  // touching the stop is enough to reverse
        const double result = m.extremeLow;
        m.direction = 1;
        m.extremeHigh = h0;
        m.extremeLow = l0;
        m.factor = step;
        m.stop = result + step * (h0 - result);
        if (m.stop > l0) m.stop = l0;
        if (m.stop > low.at(1)) m.stop = low.at(1);
        return result;
    }
    const double result = m.stop;
    if (m.extremeLow < prevLow && m.factor < cap)
        m.factor = std::min(m.factor + step, cap);
    m.stop = m.stop + m.factor * (m.extremeLow - m.stop);
    if (m.stop < h0) m.stop = h0;
    if (m.stop < high.at(1)) m.stop = high.at(1);
    return result;
}

double TripleTrendBlend(const BarRing& high, const BarRing& low,
                        const BarRing& close, TripleTrendBlendMemory& m) {
    StartRecord(m);  // also restarts the embedded blend
    const double b = SarVidyaBlend<kFast104Blend>(high, low, close, m.blend);
    const double e = MomentumAdjustedAverage(close);
    m.maRing.push(e);
    return (b + SimpleAverage(m.maRing, 5) + e) / 3.0;
}

double TripleTrendBlendBeside(const SarVidyaBlendMemory& evaluated, TripleTrendBesideMemory& m, double e) {
    static_assert(kCompositeBlend.step == kFast104Blend.step && kCompositeBlend.k1 == kFast104Blend.k1,
                  "the blends share their stop and median momentum only with the same step and span");
    const double b = SarVidyaLine<kFast104Blend>(evaluated.medianMomentumRing, m.averageRing, m.resultRing,
                                                 evaluated.vidyaState);
    m.maRing.push(e);
    return (b + SimpleAverage(m.maRing, 5) + e) / 3.0;
}

}  // namespace zt
