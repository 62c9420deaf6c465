#include "studies/composite/volume_flow.h"

#include "include/zarntrade.h"
#include "series/adaptive_averages.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {

double Tr4Line(Tr4LineMemory& m, const BarRings& bars) {
    const bool starting = StartRecord(m);
    const double flow = VolumeFlowMomentum(m.flowRings, m.flowSums, starting, bars, 10);
    const double median = PushMedian(m.medianRing, bars);
    const double mb = MomentumBlend<kTr4Momentum>(m.momentum, m.medianRing, bars);
    const double vc = VariableIndexCascade(m.cascade, WeightedAverageSpread(m.spread, median, mb + flow));
    const double sar = ParabolicSar(bars.high, bars.low, m.sar, 0.02, 0.2);
    const double le = LowEnvelopeBlend(m.medianRing, bars, DisplacedWeightedAverage(bars.low, 6, 5), vc, sar);
    return (SarVidyaBlend<kTr4Blend>(bars.high, bars.low, bars.close, m.sarVidya) + le) / 2;
}

double Tr4Trigger(double sar, double c0, double c1, double prevSar, double t) {
    if (sar < c0 && c1 <= prevSar && c0 > t) return 1.0;
    if (sar > c0 && c1 >= prevSar && t > c0) return -1.0;
    return 0.0;
}

double RibbonLine(RibbonLineMemory& m, const BarRings& bars) {
    const bool starting = StartRecord(m);
    const auto& h = bars.high;
    const auto& l = bars.low;
    const auto& c = bars.close;
    const double h0 = h.at(0), l0 = l.at(0), c0 = c.at(0);
    auto& median = m.medianRing;
    median.push((h0 + l0) / 2);

    // The signal line of the composite signal, with the spread built from
    // the momentum blend plus the volume flow.
    const double flow = VolumeFlowMomentum(m.flowRings, m.flowSums, starting, bars, 15);
    const double mb = MomentumBlend<kCompositeMomentum>(m.momentum, median, bars);
    const double ws = WeightedAverageSpread(m.spread, (h0 + l0) / 2, mb + flow);
    const double vc = VariableIndexCascade(m.cascade, ws);
    const double sar = ParabolicSar(h, l, m.sar, 0.02, 0.2);
    const double wl = DisplacedWeightedAverage(l, 6, 5);
    const double le = LowEnvelopeBlend(median, bars, wl, vc, sar);
    const double svb = SarVidyaBlend<kCompositeBlend>(h, l, c, m.sarVidya);
    if (starting) m.demaState1 = m.demaState2 = le;
    const double de = DoubleExponentialAverage(le, m.demaState1, m.demaState2, 20);
    const double mid = ((de + svb + ws) / 3 + median.at(0) + (c0 - median.at(8))) / 2;
    const double smm = SmoothedMedianMomentum(m.medianMomentum, bars, 4, 6);
    const double slow = SlowLine(bars, median.at(0), (l0 + wl + sar) / 3);
    const double line = (SwingMidpoint(m.swing, h0, l0, smm, slow) + mid + le) / 3;

    // The high and low eight bars back, smoothed on the bar rings themselves.
    if (starting) {
        m.highState = h.at(8);
        m.lowState = l.at(8);
    }
    const double hv = VariableIndexAverage(h, m.highState, 3, 8);
    const double lv = VariableIndexAverage(l, m.lowState, 3, 8);
    return (hv + lv) / 2 < line ? 1.0 : 0.0;
}

double FastComponent(FastComponentMemory& m, const BarRings& bars, double mb) {
    const bool starting = StartRecord(m);
    const double flow = VolumeFlowMomentum(m.flowRings, m.flowSums, starting, bars, 15);
    return WeightedAverageSpread(m.spread, (bars.high.at(0) + bars.low.at(0)) / 2, mb + flow);
}

}  // namespace zt

using namespace zt;

extern "C" {

// A trade trigger: +1 when a parabolic stop (cap 0.05) flips below the close
// and the close is above the volume-flow trend line, -1 in the mirror case,
// else 0.
ZT_API double ZT_CALL E_ZARNTR4(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::tr4>(stateId, [](StudyState& s, Tr4Memory& m, double*) {
        const auto bars = RingsOf(s.bars);
        const double t = Tr4Line(m.line, bars);
        // A second stop, independent of the one inside the trend line.
        const double sar = ParabolicSar(bars.high, bars.low, m.sar, 0.02, 0.05);
        const double trigger = Tr4Trigger(sar, bars.close.at(0), bars.close.at(1), m.prevSar, t);
        m.prevSar = sar;  // a re-sent bar still compares with the previous appended bar's stop
        return trigger;
    });
}

// The ribbon colour: 1 while the smoothed high/low midpoint is below the
// volume-flow signal line, else 0.
ZT_API double ZT_CALL E_ZARN1MINRIBBON(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::ribbon>(stateId, [](StudyState& s, RibbonLineMemory& m, double*) {
        return RibbonLine(m, RingsOf(s.bars));
    });
}

// An oscillator: the volume-flow component minus the mean of the composite
// line and the momentum-adjusted close average; its negative part in slot 1,
// its positive part in slot 2.
ZT_API double ZT_CALL E_ZARNFAST3(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::fast3>(stateId, [](StudyState& s, Fast3Memory& m, double* slots) {
        const auto bars = RingsOf(s.bars);
        const double g = CompositeLines(m.lines, bars);
        const double f = FastComponent(m.fast, bars, m.lines.momentumBlend);
        const double h = MomentumAdjustedAverage(bars.close);
        const double r = f - (h + g) / 2;
        slots[1] = r < 0 ? r : 0.0;
        slots[2] = r > 0 ? r : 0.0;
        return r;
    });
}

}  // extern "C"
