// The water level studies: a slow line from the median price, the close
// momentum and the composite lower line, and a trigger that compares the
// close with the mean of that line and a 140-bar regression.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "studies/composite/composite_signal.h"
#include "series/adaptive_averages.h"

namespace zt {

struct WaterLevelLineMemory {
    std::uint8_t started = 0;
    double levelState = 0.0;
    Ring<22> levelRing;  // read from 12 to 21 back

    ZT_FIELDS(started, levelState, levelRing)
};

// The water level reads only the composite lower line, which takes nothing
// from the rest of the composite signal but its parabolic stop.
struct WaterLevelMemory {
    ParabolicSarMemory sar;  // the lower line's stop (0.02, 0.2)
    WaterLevelLineMemory level;

    ZT_FIELDS(sar, level)
};

struct TriggerWaterLevelMemory {
    std::uint8_t started = 0;
    CompositeLineMemory lines;
    BufferedVidyaMemory<5> lineAverage;  // of compositeLine
    WaterLevelLineMemory level;

    ZT_FIELDS(started, lines, lineAverage, level)
};

// Half the 24-length variable-index average of the level point read twelve
// bars back; x is the base line (the composite lower line).
double WaterLevelLine(WaterLevelLineMemory& m, const BarRings& bars, double x);

// +1 when the composite line a is above its average b and the level t below
// the close, -1 in the mirror case, else 0.
double WaterLevelTrigger(double a, double b, double t, double c0);

static_assert(std::is_trivially_copyable_v<TriggerWaterLevelMemory>);

}  // namespace zt
