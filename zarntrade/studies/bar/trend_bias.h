// Trend and bias studies: where price stands against its own trend.
// ChannelIndex, ShortTermBias and TrueStrengthOscillator are also building
// blocks of composite studies, which embed these records.
#pragma once

#include <cstdint>

#include "series/trend_blends.h"
#include "store/series_ring.h"

namespace zt {

struct TrendBiasMemory {
    std::uint8_t started = 0;
    double fastState = 0.0;  // 9-bar exponential average of the close
    double slowState = 0.0;  // 90-bar exponential average of the close
    Ring<5> midRing;
    double signalState = 0.0;  // 12-bar exponential average of the value

    ZT_FIELDS(started, fastState, slowState, midRing, signalState)
};

struct ShortTermBiasMemory {
    std::uint8_t started = 0;
    TripleTrendBlendMemory trend;
    Ring<4> biasRing;

    ZT_FIELDS(started, trend, biasRing)
};

struct ShortTermBiasResult {
    double value;     // momentum-adjusted average minus the triple trend blend
    double positive;  // value when above 0, else 0
    double lagged;    // value three bars back
};

struct ChannelIndexMemory {
    std::uint8_t started = 0;
    // Read in full on every evaluation, right after the push: a head-based
    // ring, whose push writes one slot, serves that better than moving all
    // fourteen.
    SeriesRing<double, 14> deviationRing;  // absolute deviations of the typical price

    ZT_FIELDS(started, deviationRing)
};

struct TrueStrengthMemory {
    std::uint8_t started = 0;
    Ring<15> tsiRing;
    double changeState1 = 0.0;  // 25-bar average of the one-bar close change
    double changeState2 = 0.0;  // 13-bar average of changeState1
    double absState1 = 0.0;     // 25-bar average of the absolute change
    double absState2 = 0.0;     // 13-bar average of absState1
    double signalState = 0.0;   // variable-index signal line
    double positivePart = 0.0;  // index - signal when above it, else 0
    double negativePart = 0.0;  // index - signal when below it, else 0
    double spread = 0.0;        // index three bars back - signal

    ZT_FIELDS(started, tsiRing, changeState1, changeState2, absState1, absState2, signalState, positivePart, negativePart, spread)
};

// The median price shifted by a 9/90 moving-average convergence, averaged
// over five bars and with the close; also advances the 12-bar signal line.
double TrendBiasLine(const BarRing& high, const BarRing& low, const BarRing& close, TrendBiasMemory& m);

ShortTermBiasResult ShortTermBias(const BarRing& high, const BarRing& low, const BarRing& close,
                                  ShortTermBiasMemory& m);

// The bias from the momentum-adjusted average e and the triple trend blend t
// of this bar, pushed into the bias ring.
ShortTermBiasResult ShortTermBiasOf(Ring<4>& biasRing, double e, double t);

// The typical price's distance from its 14-bar mean over twice the spread of
// the last 14 absolute deviations, times 0.015. 0 when that spread is 0 (a
// flat series), where the ratio has no value.
double ChannelIndex(const BarRing& high, const BarRing& low, const BarRing& close, ChannelIndexMemory& m);

// True strength index (25/13) with a 15-length variable-index signal line.
// Returns the index and leaves its parts against the signal in the record.
double TrueStrengthOscillator(const BarRing& close, TrueStrengthMemory& m);

}  // namespace zt
