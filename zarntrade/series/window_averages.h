// Window statistics over history rings and the one-value recursive smoothers.
//
// Window functions take any ring type with `at(k)` (k = 0 the newest value)
// and `forEachBack(k, n, f)` (f on element k back, then the older ones in
// turn), read it only
// and recompute the whole window on every call, so evaluating the forming bar
// again needs no undo. A window longer than the ring wraps and reads the same
// slots again; slots never written read 0, so windows over a young history
// average in zeros (no warm-up is suppressed).
//
// Smoothers keep one double in the caller's memory record, overwrite it and
// return it. They never seed it: the caller does that on its first call.
//
// Every formula is evaluated in the exact operation order written here; the
// builds for different targets must agree to the bit, so do not "simplify"
// a / n into a * (1 / n) or regroup sums.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "store/series_ring.h"

namespace zt {

// Sum of the newest n values, added newest first.
// n = 0 gives 0.
template <class R>
double RingSum(const R& r, std::uint32_t n) {
    double sum = 0.0;
    r.forEachBack(0, n, [&sum](double v) { sum += v; });
    return sum;
}

// Plain mean of the newest n values; the divisor is always n, so zeros of a
// young ring count. Callers pass n >= 1; n = 0 answers 0 rather than 0 / 0.
template <class R>
double SimpleAverage(const R& r, std::uint32_t n) {
    if (n == 0) return 0.0;
    return RingSum(r, n) / static_cast<double>(n);
}

// Mean of n values starting k bars back (R[k] .. R[k+n-1]).
// n = 0 gives 0; k = 0 is SimpleAverage.
template <class R>
double DisplacedSimpleAverage(const R& r, std::uint32_t n, std::uint32_t k) {
    if (n == 0) return 0.0;
    double sum = 0.0;
    r.forEachBack(k, n, [&sum](double v) { sum += v; });
    return sum / static_cast<double>(n);
}

// Linearly weighted mean of R[k] .. R[k+n-1]: the value i bars into the
// window weighs n - i (newest n, oldest 1). n = 0 gives 0.
template <class R>
double DisplacedWeightedAverage(const R& r, std::uint32_t n, std::uint32_t k) {
    double weighted = 0.0;
    double weights = 0.0;
    std::uint32_t i = 0;
    r.forEachBack(k, n, [&](double v) {
        const double w = static_cast<double>(n - i++);
        weighted += w * v;
        weights += w;
    });
    if (weights == 0.0) return 0.0;
    return weighted / weights;
}

// Linearly weighted mean of the newest n values (newest weighs n).
// n = 0 gives 0.
template <class R>
double WeightedAverage(const R& r, std::uint32_t n) {
    return DisplacedWeightedAverage(r, n, 0);
}

// Average of averages: the a-value mean of R is pushed into the caller's
// work ring S and the b-value mean of S is returned, with a = floor((n+1)/2)
// and b = ceil((n+1)/2) (n = 10: 5 and 6; n = 9: 5 and 5).
template <class R, class S>
double TriangularAverage(const R& r, S& work, std::uint32_t n) {
    const double h = (static_cast<double>(n) + 1.0) * 0.5;
    const auto a = static_cast<std::uint32_t>(std::floor(h));
    const auto b = static_cast<std::uint32_t>(std::ceil(h));
    work.push(SimpleAverage(r, a));
    return SimpleAverage(work, b);
}

// Exponential smoothing with an explicit factor: s moves alpha of the way
// from s toward x. Returns the new s.
inline double ExponentialSmooth(double x, double& s, double alpha) {
    s = s + (x - s) * alpha;
    return s;
}

// Exponential average of length n (factor 2 / (n + 1)); n = 1 follows x.
// Written as s + 2 (x - s) / (n + 1), not through ExponentialSmooth: the two
// orders round differently and this is the one every build must reproduce.
inline double ExponentialAverage(double x, double& s, std::uint32_t n) {
    s = s + 2.0 * (x - s) / (static_cast<double>(n) + 1.0);
    return s;
}

// Difference of two exponential averages of the same input (a convergence
// line, e.g. lengths 12 and 26). Both states advance on every call.
inline double ExponentialAverageDifference(double x, double& s1, double& s2,
                                           std::uint32_t n, std::uint32_t m) {
    const double fast = ExponentialAverage(x, s1, n);
    const double slow = ExponentialAverage(x, s2, m);
    return fast - slow;
}

// Double exponential average 2 e1 - e2, where the second average smooths
// the first one (it is fed e1, not x).
inline double DoubleExponentialAverage(double x, double& s1, double& s2,
                                       std::uint32_t n) {
    const double e1 = ExponentialAverage(x, s1, n);
    const double e2 = ExponentialAverage(e1, s2, n);
    return 2.0 * e1 - e2;
}

// Memory of TripleExponentialAverage: three chained smoother states.
struct TripleExponentialMemory {
    std::uint8_t started = 0;
    double state1 = 0.0;
    double state2 = 0.0;
    double state3 = 0.0;

    ZT_FIELDS(started, state1, state2, state3)
};
static_assert(std::is_trivially_copyable_v<TripleExponentialMemory>);

// Triple exponential average e3 + (3 e1 - 3 e2) of three chained smoothers.
// Unlike the plain smoothers it seeds itself: its first call sets all three
// states to x, so that call returns x.
inline double TripleExponentialAverage(TripleExponentialMemory& m, double x,
                                       double alpha) {
    if (StartRecord(m)) {
        m.state1 = x;
        m.state2 = x;
        m.state3 = x;
    }
    const double e1 = ExponentialSmooth(x, m.state1, alpha);
    const double e2 = ExponentialSmooth(e1, m.state2, alpha);
    const double e3 = ExponentialSmooth(e2, m.state3, alpha);
    return e3 + (3.0 * e1 - 3.0 * e2);
}

// TripleExponentialAverage with the factor of a length-n average, 2 / (n + 1).
inline double TripleExponentialAverageOfLength(TripleExponentialMemory& m,
                                               double x, std::uint32_t n) {
    return TripleExponentialAverage(m, x, 2.0 / (static_cast<double>(n) + 1.0));
}

// Running total of every value passed since the caller zeroed s.
// Returns the new s.
inline double RunningSum(double x, double& s) {
    s = s + x;
    return s;
}

}  // namespace zt
