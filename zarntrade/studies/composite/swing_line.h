// The swing line study: the triple trend blend with the swing highs and lows
// recorded where it turns against its own value six bars back.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "series/trend_blends.h"

namespace zt {

// The whole record of E_ZARNSWINGLINE. The swing members follow the swing
// rule of SwingMidpoint (AdvanceSwing) but start at the first bar's high and
// low instead of 0.
struct SwingLineMemory {
    std::uint8_t started = 0;
    TripleTrendBlendMemory trend;
    Ring<7> trendRing;  // triple trend blend values
    double runHigh = 0.0;
    double runLow = 0.0;
    double swingHigh = 0.0;
    double swingLow = 0.0;
    double prevDiff = 0.0;

    ZT_FIELDS(started, trend, trendRing, runHigh, runLow, swingHigh, swingLow, prevDiff)
};

// Returns the swing midpoint; leaves trendRing and the swing levels in the
// record.
double SwingLine(SwingLineMemory& m, const BarRings& bars);

static_assert(std::is_trivially_copyable_v<SwingLineMemory>);

}  // namespace zt
