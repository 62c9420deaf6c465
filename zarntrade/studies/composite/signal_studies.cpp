#include "studies/composite/signal_studies.h"

#include "include/zarntrade.h"
#include "studies/study_entry.h"

namespace zt {

double ComboRule(double c, double a, double b) {
    if (c > 0 && a > b) return 1.0;
    if (c < 0 && a < b) return -1.0;
    return 0.0;
}

double Combo(ComboMemory& m, const BarRings& bars) {
    StartRecord(m);
    const double ci = ChannelIndex(bars.high, bars.low, bars.close, m.channel);
    return ComboOfLine(m.lineAverage, CompositeLines(m.lines, bars), ci);
}

double ComboOfLine(BufferedVidyaMemory<5>& lineAverage, double compositeLine, double channelIndex) {
    const double b = BufferedVariableIndexAverage(lineAverage, compositeLine);
    return ComboRule(channelIndex, compositeLine, b);
}

double UpDownRule(double now, double before, double e) {
    if (now < e && now > before) return 1.0;
    if (now > e && now < before) return -1.0;
    return 0.0;
}

double UniversalValue(UniversalMemory& m, const BarRings& bars) {
    StartRecord(m);
    const double line = CompositeLines(m.lines, bars);
    const double autoStop = AutoStopLine(bars.high, bars.low, bars.close, m.autoStop);
    const double e = MomentumAdjustedAverage(bars.close);
    const double stop = StopLineOf(m.stopLags, e, TripleTrendBlendBeside(m.lines.sarVidya, m.trend, e));
    return 2 * line - autoStop - stop;
}

ThresholdParts SplitAtThresholds(double r, double upper, double lower) {
    return {r >= upper ? r : 0.0, r < lower ? r : 0.0};
}

namespace {

// Both UNIVERSAL studies run one calculation on one shared record; only the
// reporting thresholds differ.
double UniversalStudy(std::int32_t stateId, double upper, double lower) {
    return EvaluateStudy<RecordSlot::universal>(stateId, [upper, lower](StudyState& s, UniversalMemory& m, double* slots) {
        const double r = UniversalValue(m, RingsOf(s.bars));
        const ThresholdParts parts = SplitAtThresholds(r, upper, lower);
        slots[1] = parts.up;
        slots[2] = parts.down;
        return r;
    });
}

}  // namespace
}  // namespace zt

using namespace zt;

extern "C" {

// The composite trade signal: +1 long, -1 short, 0 neutral. The trader also
// sees the composite line (slot 1) and its variable-index average (slot 2).
ZT_API double ZT_CALL E_ZARNUPSELL(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::upsell>(stateId, [](StudyState& s, UpsellMemory& m, double* slots) {
        const double signal = CompositeSignal(m.signal, RingsOf(s.bars));
        const double line = m.signal.lines.compositeLine;
        slots[1] = line;
        slots[2] = BufferedVariableIndexAverage(m.lineAverage, line);
        return signal;
    });
}

// A histogram of the composite line against the four-bar mean of the highs
// and lows two bars back: the positive part is returned, the negative part is
// in slot 1, its 12-bar triple exponential average and that average four
// bars back in slots 2 and 3.
ZT_API double ZT_CALL E_ZARNFAST1(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::fast1>(stateId, [](StudyState& s, Fast1Memory& m, double* slots) {
        const double line = CompositeLines(m.lines, RingsOf(s.bars));
        const double x =
            line - (DisplacedSimpleAverage(s.bars.high, 4, 2) + DisplacedSimpleAverage(s.bars.low, 4, 2)) / 2;
        auto& hist = m.histogram;
        StartRecord(hist);
        const double t = TripleExponentialAverageOfLength(hist.tema, x, 12);
        hist.histRing.push(t);
        slots[1] = x < 0 ? x : 0.0;
        slots[2] = t;
        slots[3] = hist.histRing.at(4);
        // Returns 0 whenever x <= 0: the negative part is only in slot 1.
        return x > 0 ? x : 0.0;
    });
}

// The composite line against the DEMA104FAST104 blend: 1 while above it
// (returned), -1 in slot 1 while below it.
ZT_API double ZT_CALL E_ZARNFAST2(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::fast2>(stateId, [](StudyState& s, Fast2Memory& m, double* slots) {
        const auto bars = RingsOf(s.bars);
        // The blend advances before the composite lines.
        const double f = SarVidyaBlend<kDema104Blend>(bars.high, bars.low, bars.close, m.blend);
        const double line = CompositeLines(m.lines, bars);
        slots[1] = line < f ? -1.0 : 0.0;
        return line > f ? 1.0 : 0.0;
    });
}

// +1 when the channel index is positive and the composite line is above its
// variable-index average, -1 in the mirror case, else 0.
ZT_API double ZT_CALL E_ZARNCOMBO(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::combo>(stateId, [](StudyState& s, ComboMemory& m, double*) {
        return Combo(m, RingsOf(s.bars));
    });
}

// +1 when the bar midpoint rises but stays below the composite lower line
// shifted by the close and the smoothed median momentum, -1 when it falls
// but stays above it, else 0.
ZT_API double ZT_CALL E_ZARNNEWUPDOWN(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::newUpDown>(stateId, [](StudyState& s, NewUpDownMemory& m, double*) {
        const auto bars = RingsOf(s.bars);
        StartRecord(m);
        const double low = LowerLine(m.sar, bars);
        const double momentum = SmoothedMedianMomentum(m.momentum, bars, 4, 6);
        const double now = (bars.high.at(0) + bars.low.at(0)) / 2;
        const double before = (bars.high.at(1) + bars.low.at(1)) / 2;
        const double e = low - momentum + bars.close.at(0);
        return UpDownRule(now, before, e);
    });
}

// Twice the composite line minus the auto stop and the stop line, with the
// value reported in slot 1 from 1.125 up and in slot 2 below -1.25.
ZT_API double ZT_CALL E_ZARNUNIVERSAL(std::int32_t stateId) {
    return UniversalStudy(stateId, kUniversalUpper, kUniversalLower);
}

// The UNIVERSAL value with the narrower bond thresholds: slot 1 from 0.125
// up, slot 2 below -0.125.
ZT_API double ZT_CALL E_ZARNUNIVERSALBOND(std::int32_t stateId) {
    return UniversalStudy(stateId, kBondUpper, kBondLower);
}

}  // extern "C"
