#include "studies/bar/blend_lines.h"

#include "include/zarntrade.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {

double DemaBlend(const BarRing& high, const BarRing& low, const BarRing& close, DemaBlendMemory& m) {
    const bool starting = StartRecord(m);
    const double x = SarVidyaBlend<kDema104Blend>(high, low, close, m.blend);
    if (starting) m.demaState1 = m.demaState2 = x;
    return DoubleExponentialAverage(x, m.demaState1, m.demaState2, 60);
}

namespace {

template <RecordSlot Slot, const SarVidyaParams& P>
double BlendLine(std::int32_t stateId) {
    return EvaluateStudy<Slot>(stateId, [](StudyState& s, SarVidyaBlendMemory& m, double*) {
        return SarVidyaBlend<P>(s.bars.high, s.bars.low, s.bars.close, m);
    });
}

}  // namespace
}  // namespace zt

using namespace zt;

extern "C" {

ZT_API double ZT_CALL E_ZARNFAST104(std::int32_t stateId) {
    return BlendLine<RecordSlot::fast104, kFast104Blend>(stateId);
}

ZT_API double ZT_CALL E_ZARN104(std::int32_t stateId) { return BlendLine<RecordSlot::line104, k104Blend>(stateId); }

// The undelayed input of E_ZARNDEMA104, on a blend memory of its own.
ZT_API double ZT_CALL E_ZARNDEMA104FAST104(std::int32_t stateId) {
    return BlendLine<RecordSlot::dema104Fast104, kDema104Blend>(stateId);
}

ZT_API double ZT_CALL E_ZARNDEMA104(std::int32_t stateId) {
    return EvaluateStudy<RecordSlot::dema104>(stateId, [](StudyState& s, DemaBlendMemory& m, double*) {
        return DemaBlend(s.bars.high, s.bars.low, s.bars.close, m);
    });
}

}  // extern "C"
