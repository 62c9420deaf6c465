// The scorecard study: the median price plus a volume-pressure term, minus a
// blend of a smoothed median momentum and a smoothed parabolic stop.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "series/adaptive_averages.h"
#include "series/trend_blends.h"
#include "store/series_ring.h"

namespace zt {

// The whole record of E_ZARNSCORECARD.
struct ScorecardLineMemory {
    std::uint8_t started = 0;
    double cumulativeVolume = 0.0;
    double cumulativeRatio = 0.0;
    Ring<7> ratioRing;
    Ring<4> momentumRing;
    Ring<15> mixRing;
    Ring<6> levelRing;
    Ring<4> trendRing;
    Ring<12> pressureRing;
    Ring<3> medianMomentumRing;
    Ring<9> averageRing;
    Ring<12> resultRing;
    BufferedVidyaMemory<18> levelAverage;
    BufferedVidyaMemory<4> trendAverage;
    BufferedVidyaMemory<5> sarAverage;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    double averagedResult = 0.0;  // 8-bar weighted average of the result, 3 bars back

    ZT_FIELDS(started, cumulativeVolume, cumulativeRatio, ratioRing, momentumRing, mixRing, levelRing, trendRing, pressureRing, medianMomentumRing, averageRing, resultRing, levelAverage, trendAverage, sarAverage, sar, averagedResult)
};

// Returns the oscillator value and leaves averagedResult in the record.
double ScorecardLine(ScorecardLineMemory& m, const BarRings& bars);

static_assert(std::is_trivially_copyable_v<ScorecardLineMemory>);

}  // namespace zt
