#include "studies/composite/colour_template.h"

#include "include/zarntrade.h"
#include "studies/study_entry.h"

namespace zt {

double SignalOrChannelVote(double s, double ci) {
    if (s != 0) return s;
    if (ci > 50) return 1.0;
    if (ci < -50) return -1.0;
    return 0.0;
}

double StrengthComponent(double pos, double neg, double spr) {
    if (neg > spr) return neg - spr;
    if (pos < spr) return pos - spr;
    return 0.0;
}

double Consensus(const double (&components)[kColourComponents]) {
    bool allPositive = true;
    bool allNegative = true;
    for (const double c : components) {
        if (c > 0) {
            allNegative = false;
        } else if (c < 0) {
            allPositive = false;
        } else {
            return 0.0;  // exactly 0, or not comparable
        }
    }
    if (allPositive) return 1.0;
    if (allNegative) return -1.0;
    return 0.0;
}

double ColourTemplate(ColourTemplateMemory& m, const BarRings& bars) {
    StartRecord(m);
    const auto& h = bars.high;
    const auto& l = bars.low;
    const auto& c = bars.close;
    const double c0 = c.at(0);

    // Every calculation advances once, on its own memory (the shared ones
    // once for all their users).
    const double a = MomentumAdjustedAverage(c);
    const double b = AutoStopLine(h, l, c, m.autoStop);
    const double s = CompositeSignal(m.signal, bars);
    const CompositeLineMemory& lines = m.signal.lines;
    const double line = lines.compositeLine;
    const double ci = m.signal.channelIndex;
    const double combo = ComboOfLine(m.comboLineAverage, line, ci);
    const double f = FastComponent(m.fast, bars, lines.momentumBlend);
    const double t = TripleTrendBlendBeside(lines.sarVidya, m.trend, a);
    const double sb = ShortTermBiasOf(m.biasRing, a, t).value;
    const double stop = StopLineOf(m.stopLags, a, t);
    const double split = SplitLineOf(m.splitSwing, bars, lines.smoothedMomentum, lines.stop);
    TrueStrengthOscillator(c, m.strength);

    double* k = m.components;
    k[0] = c0 - a;
    k[1] = c0 - b;
    k[2] = SignalOrChannelVote(s, ci);
    k[3] = combo;
    k[4] = f - (line + a) / 2;  // the value of E_ZARNFAST3
    k[5] = sb;
    k[6] = line - stop;
    k[7] = c0 - split;
    k[8] = StrengthComponent(m.strength.positivePart, m.strength.negativePart, m.strength.spread);
    return Consensus(m.components);
}

}  // namespace zt

using namespace zt;

// A colour code: +1 when all nine components agree on up, -1 when all agree
// on down, else 0. Slots 1 to 9 hold the nine components whatever the
// consensus, for the host to colour one by one.
extern "C" ZT_API double ZT_CALL E_ZARNCOLORTMPL(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::colourTemplate>(stateId, [](StudyState& s, ColourTemplateMemory& m, double* slots) {
        const double consensus = ColourTemplate(m, RingsOf(s.bars));
        for (int i = 0; i < kColourComponents; ++i) slots[1 + i] = m.components[i];
        return consensus;
    });
}
