// Stop line studies and their building blocks. StopLine and AutoStopLine are
// also evaluated inside composite studies, on records of their own.
#pragma once

#include <cstdint>

#include "series/trend_blends.h"
#include "store/series_ring.h"

namespace zt {

struct StopLineLags {
    Ring<13> maLagRing;    // momentum-adjusted close averages
    Ring<4> trendLagRing;  // triple trend blend values

    ZT_FIELDS(maLagRing, trendLagRing)
};

struct StopLineMemory {
    std::uint8_t started = 0;
    TripleTrendBlendMemory trend;
    StopLineLags lags;

    ZT_FIELDS(started, trend, lags)
};

struct AutoStopLineMemory {
    std::uint8_t started = 0;
    double ema5State = 0.0;
    double ema3StateA = 0.0;
    double ema3StateB = 0.0;
    Ring<3> weightedRing;  // weighted closes
    Ring<3> smoothRing;    // triple-smoothed values

    ZT_FIELDS(started, ema5State, ema3StateA, ema3StateB, weightedRing, smoothRing)
};

// A trailing stop: the mean of the momentum-adjusted close average of twelve
// bars ago and the triple trend blend of three bars ago. Reads zero-filled
// history for its first bars (0 on the first bar).
double StopLine(const BarRing& high, const BarRing& low, const BarRing& close, StopLineMemory& m);

// The stop line from the momentum-adjusted average e and the triple trend
// blend t of this bar, pushed into the lag rings.
double StopLineOf(StopLineLags& lags, double e, double t);

// The weighted close (2C + H + L) / 4, averaged over three bars, smoothed by
// exponential averages of lengths 5, 3 and 3, and shown two bars late.
double AutoStopLine(const BarRing& high, const BarRing& low, const BarRing& close, AutoStopLineMemory& m);

// Where a bar's midpoint m lies against the stop line and the tight stop.
struct MidpointPosition {
    double code;   // 2 strictly between the lines, 1 below both, 0 otherwise
    double above;  // 1 when above both lines, else 0
    double below;  // -1 when below both lines, else 0
};

// Touching either line counts as neither between, above nor below.
MidpointPosition ClassifyMidpoint(double m, double stop, double tight);

}  // namespace zt
