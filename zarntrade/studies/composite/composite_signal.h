// The composite signal: a parabolic-stop trend, a median momentum mix, the
// MACD-based momentum blend, a low-side envelope, a swing midpoint and the
// channel index combined into a trade signal (+1 long, -1 short, 0 neutral)
// and two lines, compositeLine and lowerLine, that most composite studies
// filter or re-combine.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "series/trend_blends.h"
#include "store/series_ring.h"
#include "studies/bar/trend_bias.h"

namespace zt {

// The two lines of the composite signal and what they are made of. A study
// that reads only the lines keeps this record alone: the parts that make
// only the signal (the stop's 15-length trend, the momentum mix, the smoothed
// blend and the channel index) feed neither line, so the lines come out the
// same, bit for bit, without them.
struct CompositeLineMemory {
    std::uint8_t started = 0;
    MedianRing medianRing;  // also read by the momentum blend and the low envelope
    double demaState1 = 0.0;  // over the low envelope
    double demaState2 = 0.0;
    MomentumBlendMemory momentum;
    WeightedAverageSpreadMemory spread;
    VariableIndexCascadeMemory cascade;
    ParabolicSarMemory sar;  // step 0.02, cap 0.2
    SarVidyaBlendMemory sarVidya;
    SmoothedMedianMomentumMemory medianMomentum;
    SwingMidpointMemory swing;
    // Written by every evaluation.
    double compositeLine = 0.0;
    double lowerLine = 0.0;
    double signalLine = 0.0;
    double stop = 0.0;              // the parabolic stop of this bar
    double momentumBlend = 0.0;     // MomentumBlend (8, 15, 8, 20)
    double smoothedMomentum = 0.0;  // SmoothedMedianMomentum (4, 6)

    ZT_FIELDS(started, medianRing, demaState1, demaState2, momentum, spread, cascade, sar, sarVidya, medianMomentum, swing, compositeLine, lowerLine, signalLine, stop, momentumBlend, smoothedMomentum)
};

// Advances every part of the lines once and returns the composite line; the
// lower line and the other values listed above are left in the record.
double CompositeLines(CompositeLineMemory& m, const BarRings& bars);

// The lower line alone: (L[0] + the low's six-bar weighted average from five
// bars back + the parabolic stop (0.02, 0.2)) / 3, advancing that stop.
double LowerLine(ParabolicSarMemory& sar, const BarRings& bars);

// The whole composite signal: the lines and the parts of the signal rule.
struct CompositeSignalMemory {
    std::uint8_t started = 0;
    CompositeLineMemory lines;
    Ring<10> sarRing;   // parabolic stop per bar
    Ring<11> mixRing;   // close/median momentum mix
    Ring<14> blendRing; // smoothed blend
    double sarVidyaState = 0.0;
    double blendVidyaState = 0.0;
    ChannelIndexMemory channel;
    // Written by every evaluation, for the studies that combine the signal
    // with it.
    double channelIndex = 0.0;

    ZT_FIELDS(started, lines, sarRing, mixRing, blendRing, sarVidyaState, blendVidyaState, channel, channelIndex)
};

static_assert(std::is_trivially_copyable_v<CompositeLineMemory>);
static_assert(std::is_trivially_copyable_v<CompositeSignalMemory>);

// Advances every child once and returns the signal; the lines are left in
// m.lines and the channel index in m.channelIndex.
double CompositeSignal(CompositeSignalMemory& m, const BarRings& bars);

// The signal rule: long (+1) when the smoothed blend sm is at or below the
// signal line and the channel index is positive, short (-1) when sm is above
// it and the index negative, else 0. An index of exactly 0 is always 0.
double CompositeSignalRule(double sm, double signalLine, double ci);

}  // namespace zt
