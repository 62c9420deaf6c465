#include "studies/composite/swing_line.h"

#include "include/zarntrade.h"
#include "studies/study_entry.h"

namespace zt {

double SwingLine(SwingLineMemory& m, const BarRings& bars) {
    const double h0 = bars.high.at(0);
    const double l0 = bars.low.at(0);
    if (StartRecord(m)) {
        m.runHigh = m.swingHigh = h0;
        m.runLow = m.swingLow = l0;
    }
    const double c = TripleTrendBlend(bars.high, bars.low, bars.close, m.trend);
    m.trendRing.push(c);
    // The line six bars ago plays the fast line, the line now the slow one:
    // a turn down records the swing high.
    return AdvanceSwing(m, h0, l0, m.trendRing.at(6), c);
}

}  // namespace zt

using namespace zt;

// The triple trend line three bars back on the price chart, with the swing
// midpoint, swing high and swing low recorded at the line's turns in slots
// 1 to 3.
extern "C" ZT_API double ZT_CALL E_ZARNSWINGLINE(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::swingLine>(stateId, [](StudyState& s, SwingLineMemory& m, double* slots) {
        slots[1] = SwingLine(m, RingsOf(s.bars));
        slots[2] = m.swingHigh;
        slots[3] = m.swingLow;
        return m.trendRing.at(3);
    });
}
