// The colour template study: a consensus of nine signed components drawn
// from the composite and single-series lines. It embeds its own copy of
// every calculation it uses and shares no state with the studies it borrows
// from. Within its record, a part that several components compute alike is
// kept and computed once: all its parts start on its first evaluation and
// see the same bars, so copies of one calculation would stay identical.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/composite_signal.h"
#include "studies/composite/signal_studies.h"
#include "studies/composite/split_lines.h"
#include "studies/composite/volume_flow.h"
#include "studies/bar/stop_lines.h"
#include "studies/bar/trend_bias.h"

namespace zt {

inline constexpr int kColourComponents = 9;

// The whole record of E_ZARNCOLORTMPL.
struct ColourTemplateMemory {
    std::uint8_t started = 0;
    AutoStopLineMemory autoStop;
    // One composite signal for components 3, 4, 5, 7 and 8: also the combo's
    // signal, and with it the channel index of components 3 and 4, the
    // momentum blend of component 5 and the split line's momentum and stop.
    CompositeSignalMemory signal;
    BufferedVidyaMemory<5> comboLineAverage;
    FastComponentMemory fast;
    // One triple trend blend for the short-term bias and the stop line, with
    // the composite signal's stop and median momentum.
    TripleTrendBesideMemory trend;
    Ring<4> biasRing;
    StopLineLags stopLags;
    // The split line's momentum (4, 6) and stop (0.02, 0.2) are the composite
    // signal's.
    SwingMidpointMemory splitSwing;
    TrueStrengthMemory strength;
    double components[kColourComponents] = {};  // component 1 first

    ZT_FIELDS(started, autoStop, signal, comboLineAverage, fast, trend, biasRing, stopLags, splitSwing, strength, components)
};

// Evaluates every embedded calculation once, in a fixed order, stores the
// nine components in the record and returns the consensus.
double ColourTemplate(ColourTemplateMemory& m, const BarRings& bars);

// Component 3: the composite signal s when it is not 0, else a vote of the
// channel index beyond +-50 (strict), else 0.
double SignalOrChannelVote(double s, double ci);

// Component 9: the strength index's negative part against the spread when
// above it, else its positive part when below it, else 0.
double StrengthComponent(double pos, double neg, double spr);

// +1 when all nine components are positive, -1 when all are negative, else
// 0. The walk ends with 0 at the first component that is 0 or not a number.
double Consensus(const double (&components)[kColourComponents]);

static_assert(std::is_trivially_copyable_v<ColourTemplateMemory>);

}  // namespace zt
