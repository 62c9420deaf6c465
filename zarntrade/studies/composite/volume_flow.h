// The volume-flow studies: TR4 (a stop-flip trigger confirmed by a trend
// line), 1MINRIBBON (a ribbon colour) and FAST3 (an oscillator), each adding
// the volume-flow momentum to the momentum blend chain. FastComponent is also
// one of the colour template's components.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "studies/composite/composite_signal.h"
#include "series/trend_blends.h"

namespace zt {

struct Tr4LineMemory {
    std::uint8_t started = 0;
    VolumeFlowRings flowRings;
    VolumeFlowSums flowSums;
    MedianRing medianRing;  // for the momentum blend and the low envelope
    MomentumBlendMemory momentum;
    WeightedAverageSpreadMemory spread;
    VariableIndexCascadeMemory cascade;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SarVidyaBlendMemory sarVidya;

    ZT_FIELDS(started, flowRings, flowSums, medianRing, momentum, spread, cascade, sar, sarVidya)
};

struct Tr4Memory {
    Tr4LineMemory line;
    ParabolicSarMemory sar;  // step 0.02, cap 0.05: the stop whose flips trigger
    double prevSar = 0.0;    // that stop on the previous appended bar; starts at 0

    ZT_FIELDS(line, sar, prevSar)
};

// The whole record of E_ZARN1MINRIBBON.
struct RibbonLineMemory {
    std::uint8_t started = 0;
    VolumeFlowRings flowRings;
    MedianRing medianRing;  // also read by the momentum blend and the low envelope
    VolumeFlowSums flowSums;
    double demaState1 = 0.0;  // over the low envelope
    double demaState2 = 0.0;
    double highState = 0.0;  // variable-index average of the high 8 bars back
    double lowState = 0.0;   // variable-index average of the low 8 bars back
    MomentumBlendMemory momentum;
    WeightedAverageSpreadMemory spread;
    VariableIndexCascadeMemory cascade;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SarVidyaBlendMemory sarVidya;
    SmoothedMedianMomentumMemory medianMomentum;
    SwingMidpointMemory swing;

    ZT_FIELDS(started, flowRings, medianRing, flowSums, demaState1, demaState2, highState, lowState, momentum, spread, cascade, sar, sarVidya, medianMomentum, swing)
};

// Its momentum blend (8, 15, 8, 20) is the one of the composite signal that
// every user evaluates on the same bars.
struct FastComponentMemory {
    std::uint8_t started = 0;
    VolumeFlowRings flowRings;
    VolumeFlowSums flowSums;
    WeightedAverageSpreadMemory spread;

    ZT_FIELDS(started, flowRings, flowSums, spread)
};

struct Fast3Memory {
    FastComponentMemory fast;
    CompositeLineMemory lines;  // the composite line and the momentum blend

    ZT_FIELDS(fast, lines)
};

// The trend line that confirms TR4's stop flips.
double Tr4Line(Tr4LineMemory& m, const BarRings& bars);

// +1 when the stop has flipped below the close (sar < c0, the previous close
// at or below the previous stop) and the close is above the trend line t; -1
// in the mirror case; else 0.
double Tr4Trigger(double sar, double c0, double c1, double prevSar, double t);

// 1.0 when the smoothed high/low midpoint is below the ribbon's signal line,
// else 0.0.
double RibbonLine(RibbonLineMemory& m, const BarRings& bars);

// The momentum blend mb (the composite signal's, on these bars) plus the
// volume flow, spread against the median price.
double FastComponent(FastComponentMemory& m, const BarRings& bars, double mb);

static_assert(std::is_trivially_copyable_v<Tr4Memory>);
static_assert(std::is_trivially_copyable_v<RibbonLineMemory>);
static_assert(std::is_trivially_copyable_v<Fast3Memory>);

}  // namespace zt
