#include "series/trend_blends.h"

#include "series/adaptive_averages.h"

namespace zt {

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
