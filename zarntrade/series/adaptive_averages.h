// Adaptive averages and regression statistics over history rings: the
// momentum ratio and the variable-index average it drives, a volume-adjusted
// average, the standard deviation about a given mean and three least-squares
// statistics. Conventions are those of window_averages.h: R[k] is `at(k)`,
// windows recompute from the ring on every call, unwritten slots read 0, and
// formulas are evaluated in the order written.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "series/window_averages.h"
#include "store/series_ring.h"

namespace zt {

// x when x > 0, else +0.0 (NaN included). Where SSE2 is there (every build
// of the library), one maxsd: no branch waits on the sign of x, which no
// branch predictor can learn from prices.
inline double PositivePart(double x) {
#if defined(__SSE2__)
    return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(x), _mm_setzero_pd()));
#else
    return x > 0.0 ? x : 0.0;
#endif
}

// Net share of directional movement over n one-bar changes starting k bars
// back: (up - down) / (up + down) in [-1, 1]; reads n + 1 values, 0 when flat.
template <class R>
double MomentumRatio(const R& r, std::uint32_t n, std::uint32_t k = 0) {
    // A rise adds a - b to up, a fall b - a to down, and each adds +0.0
    // otherwise, which leaves it as it was: both only ever hold +0.0 or more,
    // never -0.0 or NaN. So the sums are those of adding on rises and falls
    // alone (a > b exactly when a - b > 0).
#if defined(__SSE2__)
    // The two sums side by side, (up, down): one packed subtraction
    // (a, b) - (b, a), maximum with +0.0 and addition per step, each lane
    // the scalar operation PositivePart and the addition would do. The
    // values are read one by one: the rings were mostly written by the push
    // just before, and a 16-byte load across two of its stores would wait
    // for them to reach the cache.
    const __m128d zero = _mm_setzero_pd();
    __m128d sums = zero;
    __m128d a = _mm_set1_pd(r.at(k));
    r.forEachBack(k + 1, n, [&](double older) {
        const __m128d b = _mm_set1_pd(older);
        sums = _mm_add_pd(sums, _mm_max_pd(_mm_sub_pd(_mm_unpacklo_pd(a, b), _mm_unpacklo_pd(b, a)), zero));
        a = b;
    });
    const double up = _mm_cvtsd_f64(sums);
    const double down = _mm_cvtsd_f64(_mm_unpackhi_pd(sums, sums));
#else
    double up = 0.0;
    double down = 0.0;
    double a = r.at(k);
    r.forEachBack(k + 1, n, [&](double b) {  // b is one bar older than a
        up += PositivePart(a - b);
        down += PositivePart(b - a);
        a = b;
    });
#endif
    if (up + down == 0.0) return 0.0;
    return (up - down) / (up + down);
}

// Exponential average of R[k] whose factor |ratio| * 2 / (n + 1) follows the
// momentum ratio over the 9 changes R[k] .. R[k+9], whatever n is.
// The caller pushes the new value before the call; a flat span leaves s as is.
template <class R>
double VariableIndexAverage(const R& r, double& s, std::uint32_t n,
                            std::uint32_t k = 0) {
    const double f =
        std::fabs(MomentumRatio(r, 9, k)) * 2.0 / (static_cast<double>(n) + 1.0);
    s = r.at(k) * f + s * (1.0 - f);
    return s;
}

// Memory of BufferedVariableIndexAverage: its own input ring, the 10 values
// the momentum ratio reads, whatever N is.
template <std::uint32_t N>
struct BufferedVidyaMemory {
    std::uint8_t started = 0;
    Ring<10> inputRing;
    double state = 0.0;

    ZT_FIELDS(started, inputRing, state)
};

// Variable-index average of length N over the inputs it buffers itself.
// Seeded with the first input, so the first call returns (about) that input.
template <std::uint32_t N>
double BufferedVariableIndexAverage(BufferedVidyaMemory<N>& m, double x) {
    static_assert(std::is_trivially_copyable_v<BufferedVidyaMemory<N>>);
    if (StartRecord(m)) m.state = x;
    m.inputRing.push(x);
    return VariableIndexAverage(m.inputRing, m.state, N);
}

// Memory of VolumeAdjustedAverage: the newest N prices and volumes, all it
// reads.
template <std::uint32_t N>
struct VolumeAdjustedMemory {
    std::uint8_t started = 0;
    Ring<N> priceRing;
    Ring<N> volumeRing;
    double cumulativeVolume = 0.0;
    std::uint32_t callCount = 0;

    ZT_FIELDS(started, priceRing, volumeRing, cumulativeVolume, callCount)
};

// Weighted mean of the newest prices, each weighing its volume in units of
// 0.67 x the mean volume of every call so far, handed out newest first until
// the weights total N. Divides by N: weight that is never handed out (thin
// recent volume) pulls the result toward 0 instead of being redistributed.
template <std::uint32_t N>
double VolumeAdjustedAverage(VolumeAdjustedMemory<N>& m, double x, double v) {
    static_assert(N >= 1, "the volume-adjusted average needs a length");
    static_assert(std::is_trivially_copyable_v<VolumeAdjustedMemory<N>>);
    StartRecord(m);  // zero rings, zero volume and count are the whole seed
    m.priceRing.push(x);
    m.volumeRing.push(v);
    m.callCount += 1;
    m.cumulativeVolume += v;
    const double unit =
        0.67 * m.cumulativeVolume / static_cast<double>(m.callCount);

    double remaining = static_cast<double>(N);
    double sum = 0.0;
    for (std::uint32_t i = 0; i < N; ++i) {
        // While no volume has been seen at all the unit is 0 and every weight
        // would be 0 / 0; each bar then weighs 1 instead, which makes the
        // result the plain mean of the newest N prices.
        double w = unit == 0.0 ? 1.0 : m.volumeRing.at(i) / unit;
        if (w > remaining) w = remaining;
        remaining -= w;
        sum += w * m.priceRing.at(i);
    }
    return sum / static_cast<double>(N);
}

// Population standard deviation of the newest n values about the caller's
// mean m (divisor n, not n - 1); fewer than 2 values give 0.
template <class R>
double StandardDeviation(const R& r, std::uint32_t n, double mean) {
    if (n < 2) return 0.0;
    double sum = 0.0;
    r.forEachBack(0, n, [&](double v) {
        const double d = v - mean;
        sum += d * d;
    });
    return std::sqrt(sum / static_cast<double>(n));
}

namespace regression_detail {

// The least-squares line through the newest n >= 1 values at k bars back,
// and the sum of those values. x counts bars back (0 for the newest value);
// both sums run newest first, in one pass.
struct LineAndSum {
    double value;
    double sum;
};

// In line in every caller: out of line, the x64 Windows convention returns
// the pair through memory, and the caller's reload of the sum from the
// callee's one 16-byte store stalls (the error bands paid some 20 ns an
// evaluation for it under wine64).
template <class R>
[[gnu::always_inline]] inline LineAndSum LeastSquaresLine(const R& r, std::uint32_t n, std::int32_t k) {
    const double nd = static_cast<double>(n);
    double sy = 0.0;
    double sxy = 0.0;
    std::uint32_t i = 0;
    r.forEachBack(0, n, [&](double y) {
        sy += y;
        sxy += static_cast<double>(i++) * y;
    });
    const double sx = nd * (nd - 1.0) * 0.5;
    const double sxx = (2.0 * nd - 1.0) * nd * (nd - 1.0) / 6.0;

    // d is negative for n >= 2; that sign flip turns the slope against "bars
    // back" into the slope in forward time (positive when values rise).
    const double d = sx * sx - nd * sxx;
    const double b = d == 0.0 ? 0.0 : (nd * sxy - sx * sy) / d;
    // (sy - b sx) / n is the line at the oldest bar of the window.
    return {(sy - b * sx) / nd + b * (nd - 1.0 - static_cast<double>(k)), sy};
}

// Standard error of estimate of the fit through the newest n > 2 values
// whose mean is meanY (divisor n - 2); a variance that rounds to 0 or below
// gives 0.
template <class R>
double StandardErrorAbout(const R& r, std::uint32_t n, double meanY) {
    const double nd = static_cast<double>(n);
    const double meanX = (nd * (nd - 1.0) * 0.5) / nd;
    double syy = 0.0;
    double sxy = 0.0;
    double sxx = 0.0;
    std::uint32_t i = 0;
    r.forEachBack(0, n, [&](double y) {
        const double dx = static_cast<double>(i++) - meanX;
        const double dy = y - meanY;
        syy += dy * dy;
        sxy += dx * dy;
        sxx += dx * dx;
    });
    const double c = sxx == 0.0 ? 0.0 : sxy * sxy / sxx;
    const double v = (syy - c) / (nd - 2.0);
    return v > 0.0 ? std::sqrt(v) : 0.0;
}

}  // namespace regression_detail

// Least-squares line through the newest n values, evaluated k bars before
// the newest bar (0 the newest, -1 one bar ahead, k > 0 inside the window).
// n = 0 gives 0; n = 1 has slope 0 and gives R[0].
template <class R>
double LinearRegressionValue(const R& r, std::uint32_t n, std::int32_t k) {
    if (n == 0) return 0.0;
    return regression_detail::LeastSquaresLine(r, n, k).value;
}

// One-bar-ahead forecast of the least-squares line through the newest n
// values: LinearRegressionValue at k = -1.
template <class R>
double LinearRegressionForecast(const R& r, std::uint32_t n) {
    return LinearRegressionValue(r, n, -1);
}

// Standard error of estimate of that least-squares fit (divisor n - 2).
// n <= 2, or a variance that rounds to 0 or below, gives 0.
template <class R>
double RegressionStandardError(const R& r, std::uint32_t n) {
    if (n <= 2) return 0.0;
    return regression_detail::StandardErrorAbout(r, n, SimpleAverage(r, n));
}

// The least-squares line through the newest n values at k bars back and the
// standard error of that fit: LinearRegressionValue(R, n, k) and
// RegressionStandardError(R, n), bit for bit, with the sum of the values
// added once. The error's mean of the values is that sum over n, as
// SimpleAverage would add it again.
struct RegressionFit {
    double value;
    double standardError;
};

// In line, as the line is (a pair returned through memory).
template <class R>
[[gnu::always_inline]] inline RegressionFit RegressionLineAndError(const R& r, std::uint32_t n, std::int32_t k) {
    if (n == 0) return {0.0, 0.0};
    const regression_detail::LineAndSum line = regression_detail::LeastSquaresLine(r, n, k);
    if (n <= 2) return {line.value, 0.0};
    return {line.value, regression_detail::StandardErrorAbout(r, n, line.sum / static_cast<double>(n))};
}

}  // namespace zt
