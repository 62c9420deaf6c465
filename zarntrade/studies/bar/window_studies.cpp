// The three studies that keep no memory: their value depends only on the
// bar history.
#include "studies/bar/window_studies.h"

#include "include/zarntrade.h"
#include "series/trend_blends.h"
#include "series/window_averages.h"
#include "studies/study_entry.h"

namespace zt {
namespace {

// Half the three-bar mean of (open + the median price three bars earlier)
// plus half the three-bar mean of the two-bar close change.
double OpenMomentumLevel(const BarHistory& b) {
    double sum = 0.0;
    for (std::uint32_t i = 0; i < 3; ++i)
        sum += b.close.at(i) + b.open.at(i) - b.close.at(i + 2) + (b.high.at(i + 3) + b.low.at(i + 3)) / 2;
    return sum * (1.0 / 6.0);
}

}  // namespace

// Weighted mean of low, close (twice) and high, each a three-bar mean over
// bars 2 to 4 back: the newest two bars do not move it.
double TightStopLevel(const BarHistory& b) {
    const double h = DisplacedSimpleAverage(b.high, 3, 2);
    const double c = DisplacedSimpleAverage(b.close, 3, 2);
    const double l = DisplacedSimpleAverage(b.low, 3, 2);
    return (l + 2 * c + h) * 0.25;
}

}  // namespace zt

using namespace zt;

extern "C" {

// A fast close average: seven-bar mean plus the mean one-bar change.
ZT_API double ZT_CALL E_ZARNA900(std::int32_t stateId) {
    return EvaluateStudy(stateId, [](StudyState& s, double*) { return MomentumAdjustedAverage(s.bars.close); });
}

ZT_API double ZT_CALL E_ZARN02(std::int32_t stateId) {
    return EvaluateStudy(stateId, [](StudyState& s, double*) { return OpenMomentumLevel(s.bars); });
}

ZT_API double ZT_CALL E_ZARNTIGHTSTOP(std::int32_t stateId) {
    return EvaluateStudy(stateId, [](StudyState& s, double*) { return TightStopLevel(s.bars); });
}

}  // extern "C"
