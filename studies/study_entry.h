// The evaluation skeleton every study entry shares: find the state, let the
// study restore its memory member and compute, write all ten return slots,
// and never let anything escape to the host.
#pragma once

#include <cstdint>

#include "store/registry.h"
#include "store/state.h"

namespace zt {

// `compute(state, slots)` returns the study value and fills the secondary
// results from slot 1 on; slots it leaves alone read 0.0. Slots are written
// only after a successful computation, and an unknown id touches none.
template <class Compute>
double EvaluateStudy(std::int32_t stateId, Compute&& compute) noexcept {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr) return 0.0;
        ReturnSlots slots;
        const double value = compute(*state, slots.values);
        slots.values[0] = value;
        state->slots = slots;
        return value;
    } catch (...) {
        return 0.0;
    }
}

// Copies the committed record of a study's member onto the working one and
// returns the working record. Records are plain values: one flat copy.
template <auto Member>
auto& RestoreMember(StudyState& state) {
    auto& working = state.Working().*Member;
    working = state.Committed().*Member;
    return working;
}

}  // namespace zt
