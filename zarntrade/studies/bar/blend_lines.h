// Blend line studies: one price-following line each from the stop and
// median-momentum blend, differing only in the blend's parameters and, for
// the DEMA104 line, a final 60-bar double exponential average.
#pragma once

#include <cstdint>

#include "series/trend_blends.h"
#include "store/series_ring.h"

namespace zt {

struct DemaBlendMemory {
    std::uint8_t started = 0;
    SarVidyaBlendMemory blend;
    double demaState1 = 0.0;
    double demaState2 = 0.0;

    ZT_FIELDS(started, blend, demaState1, demaState2)
};

// The DEMA104FAST104 blend smoothed by a 60-bar double exponential average
// seeded with the first blend value.
double DemaBlend(const BarRing& high, const BarRing& low, const BarRing& close, DemaBlendMemory& m);

}  // namespace zt
