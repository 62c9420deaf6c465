// The composite signal: a parabolic-stop trend, a median momentum mix, the
// MACD-based momentum blend, a low-side envelope, a swing midpoint and the
// channel index combined into a trade signal (+1 long, -1 short, 0 neutral)
// and two lines, compositeLine and lowerLine, that most composite studies
// filter or re-combine.
#pragma once

#include <cstdint>
#include <type_traits>

#include "composite/blocks.h"
#include "series/trend_blends.h"
#include "store/series_ring.h"
#include "studies/trend_bias.h"

namespace zt {

struct CompositeSignalMemory {
    std::uint8_t started = 0;
    MedianRing medianRing;  // also read by the momentum blend and the low envelope
    Ring<10> sarRing;     // parabolic stop per bar
    Ring<11> mixRing;     // close/median momentum mix
    Ring<14> blendRing;   // smoothed blend
    double sarVidyaState = 0.0;
    double demaState1 = 0.0;  // over the low envelope
    double demaState2 = 0.0;
    double blendVidyaState = 0.0;
    MomentumBlendMemory momentum;
    WeightedAverageSpreadMemory spread;
    VariableIndexCascadeMemory cascade;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SarVidyaBlendMemory sarVidya;
    ChannelIndexMemory channel;
    SmoothedMedianMomentumMemory medianMomentum;
    SwingMidpointMemory swing;
    double compositeLine = 0.0;  // written by every evaluation
    double lowerLine = 0.0;      // written by every evaluation
    // Also written by every evaluation, for the studies that combine the
    // signal with these parts: a record of their own for them, started with
    // this one and fed the same bars, would give the same numbers.
    double channelIndex = 0.0;      // ChannelIndex over the bars
    double momentumBlend = 0.0;     // MomentumBlend (8, 15, 8, 20)
    double smoothedMomentum = 0.0;  // SmoothedMedianMomentum (4, 6)
};

static_assert(std::is_trivially_copyable_v<CompositeSignalMemory>);

// Advances every child once and returns the signal; the evaluation's
// compositeLine and lowerLine, and the parts listed with them, are left in
// the record.
double CompositeSignal(CompositeSignalMemory& m, const BarRings& bars);

// The signal rule: long (+1) when the smoothed blend sm is at or below the
// signal line and the channel index is positive, short (-1) when sm is above
// it and the index negative, else 0. An index of exactly 0 is always 0.
double CompositeSignalRule(double sm, double signalLine, double ci);

}  // namespace zt
