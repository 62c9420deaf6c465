// The stateful building blocks of the composite studies. Each block keeps its
// smoothing states and history rings in a record of its own, embedded by
// value in the records of the calculations that use it, reads the newest bars
// of the High, Low, Close and Volume rings and advances once per evaluation.
// A record restarts itself (StartRecord) on the first evaluation after its
// flag was cleared, which also clears the flags of the records it embeds.
//
// Formulas are evaluated in the order written, left to right: every build
// must give the same bits, so do not regroup sums or turn divisions into
// multiplications.
#pragma once

#include <cstdint>
#include <type_traits>

#include "series/trend_blends.h"
#include "store/series_ring.h"

namespace zt {

// The four bar rings a composite calculation reads, newest bar at 0.
struct BarRings {
    const BarRing& high;
    const BarRing& low;
    const BarRing& close;
    const BarRing& volume;
};

// The rings of a state's bar history (any record with high, low, close and
// volume rings).
template <class History>
BarRings RingsOf(const History& bars) {
    return {bars.high, bars.low, bars.close, bars.volume};
}

// ---------------------------------------------------------------------------
// SwingMidpoint: the midpoint of the last swing high and swing low, recorded
// where a fast line crosses a slow line.

struct SwingMidpointMemory {
    std::uint8_t started = 0;
    double prevDiff = 0.0;   // fast - slow on the previous evaluation
    double runLow = 0.0;     // lowest low since the last upward cross
    double runHigh = 0.0;    // highest high since the last downward cross
    double swingHigh = 0.0;  // run high recorded at the last upward cross
    double swingLow = 0.0;   // run low recorded at the last downward cross

    ZT_FIELDS(started, prevDiff, runLow, runHigh, swingHigh, swingLow)
};

// The swing rule, shared with the swing line study (whose record holds the
// same five members in another order). A cross needs a strict change of sign
// of f - s: touching lines, or a previous difference of exactly 0, widen the
// running extremes instead. Returns the swing midpoint.
template <class Swing>
double AdvanceSwing(Swing& m, double h, double l, double f, double s) {
    if (f > s && m.prevDiff < 0) {  // fast line crosses above
        m.swingHigh = m.runHigh;
        m.runLow = l;
    } else if (f < s && m.prevDiff > 0) {  // fast line crosses below
        m.swingLow = m.runLow;
        m.runHigh = h;
    } else {
        if (l < m.runLow) m.runLow = l;
        if (h > m.runHigh) m.runHigh = h;
    }
    m.prevDiff = f - s;
    return (m.swingLow + m.swingHigh) / 2;
}

// 0 until the first cross; the run starts at the first bar's high and low.
double SwingMidpoint(SwingMidpointMemory& m, double h, double l, double f, double s);

// ---------------------------------------------------------------------------
// The median price (H[0] + L[0]) / 2 of the newest bars, newest first. A
// calculation that owns one pushes this bar's median once, first, and hands
// the ring to the blocks that read medians (the median drift, the momentum
// blend, the low envelope): their own rings, started with it and pushed the
// same value on every evaluation, would hold the same numbers.
using MedianRing = Ring<9>;  // read at most 8 back

// Pushes this bar's median and returns it.
inline double PushMedian(MedianRing& median, const BarRings& bars) {
    median.push((bars.high.at(0) + bars.low.at(0)) / 2);
    return median.at(0);
}

// ---------------------------------------------------------------------------
// MedianDrift: the close pushed by a volume-scaled median momentum, read six
// to eight bars back. It reads the median ring of its caller (this bar's
// median pushed) k bars back; a lag of the ring's size or more wraps.
template <class Medians>
double MedianDrift(Ring<10>& driftRing, const Medians& median, const BarRings& bars, std::uint32_t k);

// The block on its own, with a median ring of 50 (a lag of 50 reads the
// newest median).
struct MedianDriftMemory {
    std::uint8_t started = 0;
    Ring<50> medianRing;
    Ring<10> driftRing;

    ZT_FIELDS(started, medianRing, driftRing)
};

double MedianDrift(MedianDriftMemory& m, const BarRings& bars, std::uint32_t k);

// ---------------------------------------------------------------------------
// SarDemaBlend: a slow parabolic stop (step 0.01, cap 0.1), weighted over
// wLen bars, averaged with a double exponential average of the close.

struct SarDemaBlendMemory {
    std::uint8_t started = 0;
    Ring<15> sarRing;
    double demaState1 = 0.0;
    double demaState2 = 0.0;
    ParabolicSarMemory sar;

    ZT_FIELDS(started, sarRing, demaState1, demaState2, sar)
};

double SarDemaBlend(SarDemaBlendMemory& m, const BarRings& bars, std::uint32_t wLen, std::uint32_t dLen);

// ---------------------------------------------------------------------------
// MomentumBlend: a MACD-based momentum line over a mix of the median drift,
// the stop blend and the median momentum.

struct MomentumBlendMemory {
    std::uint8_t started = 0;
    Ring<9> driftRing;
    Ring<8> mixRing;
    Ring<3> macdRing;
    double ema12State = 0.0;
    double ema26State = 0.0;
    double signalState = 0.0;
    Ring<10> medianDriftRing;  // the median drift's own ring
    SarDemaBlendMemory sarDema;

    ZT_FIELDS(started, driftRing, mixRing, macdRing, ema12State, ema26State, signalState, medianDriftRing, sarDema)
};

// a: median lag, b: weighted length of the stop, d: drift lag, c: DEMA length.
struct MomentumBlendParams {
    std::uint32_t a, b, d, c;
};

inline constexpr MomentumBlendParams kCompositeMomentum{8, 15, 8, 20};
inline constexpr MomentumBlendParams kTr4Momentum{5, 10, 5, 10};

// The parameters are fixed by the code, so that no lag can read past the
// median ring (blocks.cpp instantiates the two sets above). `median` is the
// caller's, this bar's median pushed.
template <const MomentumBlendParams& P>
double MomentumBlend(MomentumBlendMemory& m, const MedianRing& median, const BarRings& bars);

// ---------------------------------------------------------------------------
// WeightedAverageSpread: a + b against the 15-bar weighted average of b
// taken from five bars back.

struct WeightedAverageSpreadMemory {
    std::uint8_t started = 0;
    Ring<21> valueRing;

    ZT_FIELDS(started, valueRing)
};

// a + b on the first bar (the window is still zero-filled).
double WeightedAverageSpread(WeightedAverageSpreadMemory& m, double a, double b);

// ---------------------------------------------------------------------------
// VariableIndexCascade: a 3-length variable-index average, smoothed again
// by a 5-length one read two bars back.

struct VariableIndexCascadeMemory {
    std::uint8_t started = 0;
    Ring<10> inputRing;
    Ring<13> firstRing;
    double firstState = 0.0;
    double secondState = 0.0;

    ZT_FIELDS(started, inputRing, firstRing, firstState, secondState)
};

double VariableIndexCascade(VariableIndexCascadeMemory& m, double x);

// ---------------------------------------------------------------------------
// LowEnvelopeBlend: a low-side envelope averaged with a median momentum. It
// keeps no memory: it reads the caller's median ring (this bar's median
// pushed) and takes the six-bar weighted average of the low from five bars
// back, DisplacedWeightedAverage(L, 6, 5), which its callers also use.

double LowEnvelopeBlend(const MedianRing& median, const BarRings& bars, double lowAverage, double a, double b);

// ---------------------------------------------------------------------------
// SmoothedMedianMomentum: median price plus k-bar close momentum, averaged
// over three bars and again over n bars from two bars back.

struct SmoothedMedianMomentumMemory {
    std::uint8_t started = 0;
    Ring<3> momentumRing;
    Ring<9> averageRing;

    ZT_FIELDS(started, momentumRing, averageRing)
};

// 0 on the first bar. n at most 7 (the average ring holds 9).
double SmoothedMedianMomentum(SmoothedMedianMomentumMemory& m, const BarRings& bars, std::uint32_t k,
                              std::uint32_t n);

// ---------------------------------------------------------------------------
// VolumeFlowMomentum: a close momentum shifted by the forecast of the
// cumulative volume ratio, against its own variable-index average. Its
// members live in the calling block's record (split in two, because one
// caller keeps a ring of its own between them); the caller's StartRecord
// resets them and the caller passes whether this is its starting evaluation.

struct VolumeFlowRings {
    Ring<5> ratioRing;
    Ring<4> forecastRing;
    Ring<16> flowRing;

    ZT_FIELDS(ratioRing, forecastRing, flowRing)
};

struct VolumeFlowSums {
    double cumulativeVolume = 0.0;
    double cumulativeRatio = 0.0;
    double flowState = 0.0;

    ZT_FIELDS(cumulativeVolume, cumulativeRatio, flowState)
};

double VolumeFlowMomentum(VolumeFlowRings& rings, VolumeFlowSums& sums, bool starting, const BarRings& bars,
                          std::uint32_t n);

// The running sum of V[3] / (cumulative volume), the ratio counting 0 while
// no volume has been seen. Advances both sums.
double CumulativeVolumeRatio(const BarRing& volume, double& cumulativeVolume, double& cumulativeRatio);

// ---------------------------------------------------------------------------
// The slow line of the composite signal, the ribbon and the split lines:
// (C0 + (C0 - C[4] + median - lowSide) / median + (H0 - H[2]) / 3 + H[2]) / 2.
// A bar whose high and low are both 0 has no median to divide by; the
// quotient then counts 0.
double SlowLine(const BarRings& bars, double median, double lowSide);

// numerator / median, or 0 when the median is 0.
inline double PerMedian(double numerator, double median) {
    return median == 0.0 ? 0.0 : numerator / median;
}

static_assert(std::is_trivially_copyable_v<MomentumBlendMemory>);
static_assert(std::is_trivially_copyable_v<VariableIndexCascadeMemory>);
static_assert(std::is_trivially_copyable_v<VolumeFlowRings>);

}  // namespace zt
