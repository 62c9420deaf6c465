// The parabolic stop-and-reverse line, the seven-bar momentum-adjusted
// average, and the two trend blends most trend studies share.
//
// Each memory record restarts itself on the first call after its `started`
// flag was cleared; starting a record also clears the flags of the records
// it embeds, so a whole tree restarts together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "series/adaptive_averages.h"
#include "series/window_averages.h"
#include "store/series_ring.h"

namespace zt {

// Memory of ParabolicSar.
struct ParabolicSarMemory {
    std::uint8_t started = 0;
    double extremeHigh = 0.0;  // highest high since the last reversal
    double extremeLow = 0.0;   // lowest low since the last reversal
    double stop = 0.0;         // the stop level for the next bar
    double factor = 0.0;       // acceleration factor
    std::int32_t direction = 0;  // +1 long (stop below prices), -1 short

    ZT_FIELDS(started, extremeHigh, extremeLow, stop, factor, direction)
};

// Stop-and-reverse line over the High and Low rings; the factor starts at
// `step`, grows by `step` on every strictly new extreme and never exceeds
// `cap`. Returns the stop in effect for the newest bar: on an ordinary bar
// the stop computed by the previous call, on a reversal bar the extreme of
// the trade that just ended. The first call starts short with the stop at
// the high, so it reverses to long at once and returns L[0].
// In line in every caller: out of line, its callers keep their values in
// registers the x64 Windows convention makes the callee save, and the cap
// passes on the stack.
[[gnu::always_inline]] inline double ParabolicSar(const BarRing& high, const BarRing& low,
                                                  ParabolicSarMemory& m, double step, double cap) {
    const double h0 = high.at(0);
    const double l0 = low.at(0);
    if (StartRecord(m)) {
        // Start short with the stop on the high: the reversal test below
        // fires at once, so the line really starts long on this bar.
        m.direction = -1;
        m.stop = h0;
        m.extremeHigh = h0;
        m.extremeLow = l0;
        m.factor = 0.0;
    }

    const double prevHigh = m.extremeHigh;
    const double prevLow = m.extremeLow;
    if (h0 > m.extremeHigh) m.extremeHigh = h0;
    if (l0 < m.extremeLow) m.extremeLow = l0;

    if (m.direction > 0) {
        if (l0 <= m.stop) {  // touching the stop is enough to reverse
            const double result = m.extremeHigh;
            m.direction = -1;
            m.extremeHigh = h0;
            m.extremeLow = l0;
            m.factor = step;
            m.stop = result + step * (l0 - result);
            if (m.stop < h0) m.stop = h0;
            if (m.stop < high.at(1)) m.stop = high.at(1);
            return result;
        }
        const double result = m.stop;
        // Only a strictly higher high accelerates; an equal one does not.
        if (m.extremeHigh > prevHigh && m.factor < cap)
            m.factor = std::min(m.factor + step, cap);
        m.stop = m.stop + m.factor * (m.extremeHigh - m.stop);
        if (m.stop > l0) m.stop = l0;
        if (m.stop > low.at(1)) m.stop = low.at(1);
        return result;
    }

    if (h0 >= m.stop) {  // touching the stop is enough to reverse
        const double result = m.extremeLow;
        m.direction = 1;
        m.extremeHigh = h0;
        m.extremeLow = l0;
        m.factor = step;
        m.stop = result + step * (h0 - result);
        if (m.stop > l0) m.stop = l0;
        if (m.stop > low.at(1)) m.stop = low.at(1);
        return result;
    }
    const double result = m.stop;
    if (m.extremeLow < prevLow && m.factor < cap)
        m.factor = std::min(m.factor + step, cap);
    m.stop = m.stop + m.factor * (m.extremeLow - m.stop);
    if (m.stop < h0) m.stop = h0;
    if (m.stop < high.at(1)) m.stop = high.at(1);
    return result;
}

// Seven-bar mean plus the mean one-bar change over those seven bars:
// (RingSum(R, 7) + R[0] - R[7]) * (1/7). Reads eight values.
template <class R>
double MomentumAdjustedAverage(const R& r) {
    // Multiplied by the rounded 1/7 rather than divided by 7: the two do not
    // always round alike and the multiplication is the defined result.
    return (RingSum(r, 7) + r.at(0) - r.at(7)) * (1.0 / 7.0);
}

// Memory of SarVidyaBlend. Unlike the other records its flag comes last.
struct SarVidyaBlendMemory {
    ParabolicSarMemory sar;
    Ring<10> sarRing;             // stop values
    Ring<6> averageRing;          // three-point averages of medianMomentumRing
    Ring<4> medianMomentumRing;   // median price plus k1-bar momentum
    Ring<3> resultRing;           // six-bar means of averageRing
    double vidyaState = 0.0;      // variable-index average of the stop
    std::uint8_t started = 0;

    ZT_FIELDS(sar, sarRing, averageRing, medianMomentumRing, resultRing, vidyaState, started)
};

// The five numbers that tell the blend studies apart: k1 is the momentum
// span, step the stop's step, k2 and k3 the two older points averaged with
// the newest median-momentum value, k4 how far back the smoothed line is read.
struct SarVidyaParams {
    std::uint32_t k1;
    double step;
    std::uint32_t k2, k3, k4;
};

inline constexpr SarVidyaParams kFast104Blend{3, 0.03, 2, 3, 2};
inline constexpr SarVidyaParams k104Blend{4, 0.02, 1, 2, 2};
inline constexpr SarVidyaParams kDema104Blend{4, 0.02, 2, 1, 0};
inline constexpr SarVidyaParams kCompositeBlend{3, 0.03, 1, 3, 2};
inline constexpr SarVidyaParams kTr4Blend{4, 0.02, 1, 2, 2};

// The line half of SarVidyaBlend: from its median-momentum ring mm (pushed
// this evaluation) and the stop's variable-index average v, through its
// average and result rings.
template <const SarVidyaParams& P>
double SarVidyaLine(const Ring<4>& mm, Ring<6>& averageRing, Ring<3>& resultRing, double v) {
    averageRing.push((mm.at(0) + mm.at(P.k2) + mm.at(P.k3)) / 3.0);
    resultRing.push(SimpleAverage(averageRing, 6));
    return 0.25 * resultRing.at(P.k4) + 0.75 * v;
}

// Three quarters a 5-length variable-index average of the parabolic stop
// (step P.step, cap 0.2) plus one quarter a smoothed median-plus-momentum
// line read P.k4 bars back. The first call sees zero-filled rings and seeds
// the variable-index state with the first stop. The parameters are fixed by
// the code, so that every look-back is a constant.
template <const SarVidyaParams& P>
double SarVidyaBlend(const BarRing& high, const BarRing& low, const BarRing& close, SarVidyaBlendMemory& m) {
    // Starting the blend zero-fills its rings and clears the stop's flag.
    const bool starting = StartRecord(m);

    const double s = ParabolicSar(high, low, m.sar, P.step, 0.2);
    m.sarRing.push(s);
    if (starting) m.vidyaState = s;
    const double v = VariableIndexAverage(m.sarRing, m.vidyaState, 5);

    const double median = (high.at(0) + low.at(0)) / 2.0 + (close.at(0) - close.at(P.k1));
    m.medianMomentumRing.push(median);
    return SarVidyaLine<P>(m.medianMomentumRing, m.averageRing, m.resultRing, v);
}

// Memory of TripleTrendBlend.
struct TripleTrendBlendMemory {
    std::uint8_t started = 0;
    SarVidyaBlendMemory blend;
    Ring<5> maRing;  // momentum-adjusted averages of the close

    ZT_FIELDS(started, blend, maRing)
};

// Mean of the fast SarVidyaBlend, the five-bar mean of the momentum-adjusted
// average of the close (this bar's included) and that average itself.
double TripleTrendBlend(const BarRing& high, const BarRing& low,
                        const BarRing& close, TripleTrendBlendMemory& m);

// The triple trend blend beside a SarVidyaBlend with the same stop step and
// momentum span (kCompositeBlend), evaluated on the same bars and started
// with it: the fast blend's stop, its variable-index average and its
// median-momentum ring would be that blend's bit for bit, so they are taken
// from it (`evaluated`, already advanced this evaluation); the blend keeps
// only its own average and result rings here. e is the momentum-adjusted
// average of the close on this bar.
struct TripleTrendBesideMemory {
    Ring<6> averageRing;
    Ring<3> resultRing;
    Ring<5> maRing;  // momentum-adjusted averages of the close

    ZT_FIELDS(averageRing, resultRing, maRing)
};

double TripleTrendBlendBeside(const SarVidyaBlendMemory& evaluated, TripleTrendBesideMemory& m, double e);

// Records are restored by one flat copy before every evaluation.
static_assert(std::is_trivially_copyable_v<ParabolicSarMemory>);
static_assert(std::is_trivially_copyable_v<SarVidyaBlendMemory>);
static_assert(std::is_trivially_copyable_v<TripleTrendBlendMemory>);
static_assert(std::is_trivially_copyable_v<TripleTrendBesideMemory>);

}  // namespace zt
