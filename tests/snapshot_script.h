// The host's calls over a bar series as a list of steps, for the snapshot
// tests and the cross-build snapshot check: a run cut anywhere in the list,
// saved, restored and run on must give what the whole list gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "include/zarntrade.h"
#include "store/state.h"
#include "tests/study_calls.h"
#include "testing/synthetic_bars.h"

namespace zt::test {

struct Step {
    enum Kind { Push, Evaluate } kind;
    std::int32_t barNumber = 0;
    Bar bar{};
    StudyCall study = nullptr;
};

// The calls a host makes over the bars: every bar appended and every study
// evaluated on it, except that every seventh bar first arrives forming (other
// prices, evaluated) and is then re-sent final, and every eleventh bar is not
// evaluated at all.
inline std::vector<Step> Script(const std::vector<Bar>& bars, const std::vector<StudyCall>& studies) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto number = static_cast<std::int32_t>(i + 1);
        if (i % 7 == 3) {
            Bar forming = bars[i];
            forming.close = (forming.high + forming.low) / 2;
            forming.volume /= 3;
            steps.push_back({Step::Push, number, forming});
            for (StudyCall s : studies) steps.push_back({Step::Evaluate, 0, {}, s});
        }
        steps.push_back({Step::Push, number, bars[i]});
        if (i % 11 == 5) continue;
        for (StudyCall s : studies) steps.push_back({Step::Evaluate, 0, {}, s});
    }
    return steps;
}

// Runs steps [from, to) on a state, appending every evaluation's value and
// ten slots to `out`.
inline void Run(std::int32_t id, const std::vector<Step>& steps, std::size_t from, std::size_t to, std::vector<double>& out) {
    for (std::size_t i = from; i < to; ++i) {
        const Step& s = steps[i];
        if (s.kind == Step::Push) {
            E_BARVALUES(id, s.barNumber, s.bar.date, s.bar.time, s.bar.open, s.bar.high, s.bar.low, s.bar.close,
                        s.bar.volume);
            continue;
        }
        out.push_back(s.study(id));
        for (std::int32_t slot = 0; slot < kReturnSlotCount; ++slot) out.push_back(E_GETRETURN(id, slot));
    }
}

}  // namespace zt::test
