// The split lines: the midpoint of the last swing high and low recorded
// where a smoothed median momentum crosses a price-based slow line. SplitLine
// is also one of the colour template's components.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "series/trend_blends.h"

namespace zt {

// The whole record of E_ZARN115SPLIT.
struct SplitLineMemory {
    std::uint8_t started = 0;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SmoothedMedianMomentumMemory medianMomentum;
    SwingMidpointMemory swing;

    ZT_FIELDS(started, sar, medianMomentum, swing)
};

// The whole record of E_ZARNMODSPLIT.
struct ModSplitLineMemory {
    std::uint8_t started = 0;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SmoothedMedianMomentumMemory medianMomentum;
    SwingMidpointMemory swing;
    double lowState = 0.0;  // 4-length exponential average of the low 5 bars back

    ZT_FIELDS(started, sar, medianMomentum, swing, lowState)
};

// Momentum (4, 6); the slow line's low side is the weighted low of bars 5
// to 10 back.
double SplitLine(SplitLineMemory& m, const BarRings& bars);

// The split line from its momentum a (4, 6) and its stop sar (step 0.02, cap
// 0.2) of this bar, worked out elsewhere on the same bars.
double SplitLineOf(SwingMidpointMemory& swing, const BarRings& bars, double a, double sar);

// Momentum (2, 4); the slow line's low side is the exponentially smoothed
// low of five bars back.
double ModSplitLine(ModSplitLineMemory& m, const BarRings& bars);

static_assert(std::is_trivially_copyable_v<ModSplitLineMemory>);

}  // namespace zt
