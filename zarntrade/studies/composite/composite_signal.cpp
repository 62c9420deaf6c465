#include "studies/composite/composite_signal.h"

#include "series/adaptive_averages.h"
#include "series/window_averages.h"

namespace zt {

double CompositeSignalRule(double sm, double signalLine, double ci) {
    if (sm <= signalLine && ci > 0) return 1.0;
    if (sm > signalLine && ci < 0) return -1.0;
    return 0.0;
}

// Each child is evaluated exactly once. The children keep records of their
// own and read only the bar rings, so the order in which they advance
// changes no number.
double CompositeLines(CompositeLineMemory& m, const BarRings& bars) {
    const bool starting = StartRecord(m);
    const auto& h = bars.high;
    const auto& l = bars.low;
    const auto& c = bars.close;
    auto& median = m.medianRing;

    // 1. Median and its eight-bar gap.
    const double h0 = h.at(0), l0 = l.at(0), c0 = c.at(0);
    median.push((h0 + l0) / 2);
    const double medianGap = c0 - median.at(8);

    // 2. The stop.
    const double stop = ParabolicSar(h, l, m.sar, 0.02, 0.2);

    // 3. Momentum blend, spread, cascade, envelope and the fast stop blend.
    const double mb = MomentumBlend<kCompositeMomentum>(m.momentum, median, bars);
    const double ws = WeightedAverageSpread(m.spread, median.at(0), mb);
    const double vc = VariableIndexCascade(m.cascade, ws);
    const double wl = DisplacedWeightedAverage(l, 6, 5);
    const double le = LowEnvelopeBlend(median, bars, wl, vc, stop);
    const double svb = SarVidyaBlend<kCompositeBlend>(h, l, c, m.sarVidya);
    if (starting) m.demaState1 = m.demaState2 = le;
    const double de = DoubleExponentialAverage(le, m.demaState1, m.demaState2, 20);
    const double smm = SmoothedMedianMomentum(m.medianMomentum, bars, 4, 6);

    // 4. The lines.
    const double midLine = (medianGap + (de + svb + ws) / 3 + median.at(0)) / 2;
    m.lowerLine = (l0 + wl + stop) / 3;
    const double slow = SlowLine(bars, median.at(0), m.lowerLine);
    const double sw = SwingMidpoint(m.swing, h0, l0, smm, slow);
    m.signalLine = (sw + midLine + le) / 3;
    m.compositeLine = (m.signalLine + midLine) / 2;
    m.stop = stop;
    m.momentumBlend = mb;
    m.smoothedMomentum = smm;
    return m.compositeLine;
}

double LowerLine(ParabolicSarMemory& sar, const BarRings& bars) {
    const double stop = ParabolicSar(bars.high, bars.low, sar, 0.02, 0.2);
    return (bars.low.at(0) + DisplacedWeightedAverage(bars.low, 6, 5) + stop) / 3;
}

// The channel index goes first, so that its long chain of dependent
// additions runs while the rest is worked out.
double CompositeSignal(CompositeSignalMemory& m, const BarRings& bars) {
    const bool starting = StartRecord(m);  // also restarts the lines
    const auto& c = bars.close;
    const double ci = ChannelIndex(bars.high, bars.low, c, m.channel);
    CompositeLines(m.lines, bars);
    const auto& median = m.lines.medianRing;
    const double c0 = c.at(0);

    // The stop's 15-length variable-index trend.
    auto& sars = m.sarRing;
    sars.push(m.lines.stop);
    if (starting) m.sarVidyaState = sars.at(0);
    const double sarTrend = VariableIndexAverage(sars, m.sarVidyaState, 15);

    // Momentum mix (four terms over 3) and the smoothed blend.
    const double closeGap = c0 - c.at(8);
    m.mixRing.push(((c.at(4) - c.at(12) + median.at(4)) + (c.at(2) - c.at(10) + median.at(2)) + median.at(0) +
                    closeGap) /
                   3);
    const double q = DisplacedSimpleAverage(m.mixRing, 6, 4);
    const double medianGap = c0 - median.at(8);
    m.blendRing.push((0.25 * q + median.at(0) + 0.75 * sarTrend + medianGap) / 2);
    // Seeded from the slot three back, which is still 0 on the starting bar.
    if (starting) m.blendVidyaState = m.blendRing.at(3);
    const double sm = VariableIndexAverage(m.blendRing, m.blendVidyaState, 5, 3);

    m.channelIndex = ci;
    return CompositeSignalRule(sm, m.lines.signalLine, ci);
}

}  // namespace zt
