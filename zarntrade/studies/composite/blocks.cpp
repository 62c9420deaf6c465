#include "studies/composite/blocks.h"

#include "series/adaptive_averages.h"
#include "series/window_averages.h"

namespace zt {

double SwingMidpoint(SwingMidpointMemory& m, double h, double l, double f, double s) {
    if (StartRecord(m)) {
        m.runHigh = h;
        m.runLow = l;  // prevDiff and both swing levels start at 0
    }
    return AdvanceSwing(m, h, l, f, s);
}

template <class Medians>
double MedianDrift(Ring<10>& driftRing, const Medians& median, const BarRings& bars, std::uint32_t k) {
    const double c0 = bars.close.at(0);
    const auto& v = bars.volume;
    const double lagged = median.at(k);

    // The drift term counts 0 for a zero median, a zero denominator or a
    // zero numerator.
    double t = 0.0;
    if (median.at(0) != 0.0) {
        const double den = c0 + 0.1 * (v.at(5) / median.at(0) + v.at(3) + v.at(0));
        const double num = c0 - lagged + median.at(0);
        if (den != 0.0 && num != 0.0) t = num / den;
    }
    driftRing.push(c0 + (c0 + t - median.at(3)));
    return DisplacedSimpleAverage(driftRing, 3, 6);  // drift of 6 to 8 bars ago
}

double MedianDrift(MedianDriftMemory& m, const BarRings& bars, std::uint32_t k) {
    StartRecord(m);
    m.medianRing.push((bars.high.at(0) + bars.low.at(0)) / 2);
    return MedianDrift(m.driftRing, m.medianRing, bars, k);
}

double SarDemaBlend(SarDemaBlendMemory& m, const BarRings& bars, std::uint32_t wLen, std::uint32_t dLen) {
    const double c0 = bars.close.at(0);
    if (StartRecord(m)) m.demaState1 = m.demaState2 = c0;
    m.sarRing.push(ParabolicSar(bars.high, bars.low, m.sar, 0.01, 0.1));
    const double d = DoubleExponentialAverage(c0, m.demaState1, m.demaState2, dLen);
    return (WeightedAverage(m.sarRing, wLen) + d) / 2;
}

template <const MomentumBlendParams& P>
double MomentumBlend(MomentumBlendMemory& m, const MedianRing& median, const BarRings& bars) {
    static_assert(P.a < MedianRing::capacity, "the median lag must stay inside the median ring");
    constexpr const MomentumBlendParams& p = P;
    const double c0 = bars.close.at(0);
    const bool starting = StartRecord(m);
    if (starting) m.ema12State = m.ema26State = c0;

    const double lagged = median.at(p.a);
    const double e = MedianDrift(m.medianDriftRing, median, bars, p.a);
    m.driftRing.push(e);
    const double s = SarDemaBlend(m.sarDema, bars, p.b, p.c);

    // Four terms over 3, not 4: the mix leans on the stop and the median.
    m.mixRing.push(((s + median.at(0) + e + (c0 - lagged)) / 3 + m.driftRing.at(p.d)) / 2);
    const double o = DisplacedSimpleAverage(m.mixRing, 3, 4);

    const double macd = ExponentialAverageDifference(c0, m.ema12State, m.ema26State, 12, 26);
    m.macdRing.push(macd);
    if (starting) m.signalState = macd;
    const double sig = ExponentialAverage(macd, m.signalState, 9);

    // The plain sum of the last three MACD values, not their mean.
    return (RingSum(m.macdRing, 3) + macd) / 2 + (macd - sig) + (c0 - o);
}

template double MomentumBlend<kCompositeMomentum>(MomentumBlendMemory&, const MedianRing&, const BarRings&);
template double MomentumBlend<kTr4Momentum>(MomentumBlendMemory&, const MedianRing&, const BarRings&);

double WeightedAverageSpread(WeightedAverageSpreadMemory& m, double a, double b) {
    StartRecord(m);
    m.valueRing.push(b);
    return (b + a) - DisplacedWeightedAverage(m.valueRing, 15, 5);
}

double VariableIndexCascade(VariableIndexCascadeMemory& m, double x) {
    const bool starting = StartRecord(m);
    if (starting) m.firstState = x;
    m.inputRing.push(x);
    m.firstRing.push(VariableIndexAverage(m.inputRing, m.firstState, 3));
    // Seeded from the slot two back, which is still 0 on the starting bar.
    if (starting) m.secondState = m.firstRing.at(2);
    return VariableIndexAverage(m.firstRing, m.secondState, 5, 2);
}

double LowEnvelopeBlend(const MedianRing& median, const BarRings& bars, double lowAverage, double a, double b) {
    const double l0 = bars.low.at(0);
    return ((b + lowAverage + l0) / 3 * 1.0015 + (a + bars.close.at(0) - median.at(8) + median.at(0)) / 2) / 2;
}

double SmoothedMedianMomentum(SmoothedMedianMomentumMemory& m, const BarRings& bars, std::uint32_t k,
                              std::uint32_t n) {
    StartRecord(m);
    const auto& c = bars.close;
    m.momentumRing.push((bars.high.at(0) + bars.low.at(0)) / 2 + (c.at(0) - c.at(k)));
    m.averageRing.push(SimpleAverage(m.momentumRing, 3));
    return DisplacedSimpleAverage(m.averageRing, n, 2);
}

double CumulativeVolumeRatio(const BarRing& volume, double& cumulativeVolume, double& cumulativeRatio) {
    const double cv = RunningSum(volume.at(0), cumulativeVolume);
    const double ratio = cv == 0.0 ? 0.0 : volume.at(3) / cv;
    return RunningSum(ratio, cumulativeRatio);
}

double VolumeFlowMomentum(VolumeFlowRings& rings, VolumeFlowSums& sums, bool starting, const BarRings& bars,
                          std::uint32_t n) {
    const auto& c = bars.close;
    rings.ratioRing.push(CumulativeVolumeRatio(bars.volume, sums.cumulativeVolume, sums.cumulativeRatio));
    rings.forecastRing.push(LinearRegressionForecast(rings.ratioRing, 5));
    const double x = c.at(0) - c.at(3) + rings.forecastRing.at(3);
    rings.flowRing.push(x);
    if (starting) sums.flowState = x;
    return SimpleAverage(rings.flowRing, 4) - VariableIndexAverage(rings.flowRing, sums.flowState, n, 5);
}

double SlowLine(const BarRings& bars, double median, double lowSide) {
    const double c0 = bars.close.at(0);
    const double h0 = bars.high.at(0);
    const double h2 = bars.high.at(2);
    return (c0 + PerMedian(c0 - bars.close.at(4) + median - lowSide, median) + (h0 - h2) / 3 + h2) / 2;
}

}  // namespace zt
