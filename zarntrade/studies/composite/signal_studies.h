// The composite signal studies: UPSELL, FAST1, FAST2, COMBO, NEWUPDOWN and
// the UNIVERSAL pair. Each turns the composite signal and its lines into a
// chart output; each keeps a memory record of its own, and the combo
// record is also embedded in the colour template.
#pragma once

#include <cstdint>
#include <type_traits>

#include "studies/composite/blocks.h"
#include "studies/composite/composite_signal.h"
#include "series/adaptive_averages.h"
#include "series/trend_blends.h"
#include "series/window_averages.h"
#include "studies/bar/stop_lines.h"
#include "studies/bar/trend_bias.h"

namespace zt {

struct UpsellMemory {
    CompositeSignalMemory signal;
    BufferedVidyaMemory<5> lineAverage;  // of compositeLine

    ZT_FIELDS(signal, lineAverage)
};

struct Fast1HistogramMemory {
    std::uint8_t started = 0;
    Ring<5> histRing;  // triple exponential averages of the histogram value
    TripleExponentialMemory tema;

    ZT_FIELDS(started, histRing, tema)
};

// FAST1, FAST2, UNIVERSAL and COMBO read only the composite line (and COMBO
// the channel index): they keep the lines without the signal.
struct Fast1Memory {
    CompositeLineMemory lines;
    Fast1HistogramMemory histogram;

    ZT_FIELDS(lines, histogram)
};

struct Fast2Memory {
    CompositeLineMemory lines;
    SarVidyaBlendMemory blend;  // evaluated before the lines

    ZT_FIELDS(lines, blend)
};

struct ComboMemory {
    std::uint8_t started = 0;
    CompositeLineMemory lines;
    ChannelIndexMemory channel;
    BufferedVidyaMemory<5> lineAverage;  // of compositeLine

    ZT_FIELDS(started, lines, channel, lineAverage)
};

// NEWUPDOWN reads the composite lower line and the smoothed median momentum
// (4, 6) of the lines: it keeps just what makes those two.
struct NewUpDownMemory {
    std::uint8_t started = 0;
    ParabolicSarMemory sar;  // the lower line's stop (0.02, 0.2)
    SmoothedMedianMomentumMemory momentum;

    ZT_FIELDS(started, sar, momentum)
};

// Shared by E_ZARNUNIVERSAL and E_ZARNUNIVERSALBOND. The stop line's triple
// trend blend takes its stop and median momentum from the composite signal's
// fast blend, which computes them alike on the same bars.
struct UniversalMemory {
    std::uint8_t started = 0;
    AutoStopLineMemory autoStop;
    CompositeLineMemory lines;
    TripleTrendBesideMemory trend;
    StopLineLags stopLags;

    ZT_FIELDS(started, autoStop, lines, trend, stopLags)
};

// The combo filter: +1 when the channel index c is positive and the
// composite line a is above its average b, -1 in the mirror case, else 0.
double ComboRule(double c, double a, double b);

// The calculation of E_ZARNCOMBO on its record.
double Combo(ComboMemory& m, const BarRings& bars);

// The combo of composite lines just evaluated: the composite line against the
// line's variable-index average, filtered by the channel index on the same
// bars.
double ComboOfLine(BufferedVidyaMemory<5>& lineAverage, double compositeLine, double channelIndex);

// +1 when the midpoint rises (now > before) but stays below the envelope e,
// -1 when it falls but stays above e, else 0.
double UpDownRule(double now, double before, double e);

// Twice the composite line minus the auto stop and the stop line.
double UniversalValue(UniversalMemory& m, const BarRings& bars);

// The parts of r reported beyond a threshold pair: up = r when r >= upper,
// down = r when r < lower (strict), each 0 otherwise.
struct ThresholdParts {
    double up;
    double down;
};
ThresholdParts SplitAtThresholds(double r, double upper, double lower);

inline constexpr double kUniversalUpper = 1.125;
inline constexpr double kUniversalLower = -1.25;
inline constexpr double kBondUpper = 0.125;
inline constexpr double kBondLower = -0.125;

static_assert(std::is_trivially_copyable_v<UniversalMemory>);
static_assert(std::is_trivially_copyable_v<ComboMemory>);

}  // namespace zt
