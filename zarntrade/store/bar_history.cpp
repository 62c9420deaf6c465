#include "platform/platform.h"
#include "include/zarntrade.h"
#include "store/registry.h"
#include "store/state.h"

namespace zt {

void PushBar(StudyState& state, std::int32_t barNumber, std::int32_t date, std::int32_t time,
             double open, double high, double low, double close, double volume) noexcept {
    BarHistory& b = state.bars;
    if (barNumber == state.lastBarNumber) {
        // The host re-sends the forming bar: overwrite it and commit nothing,
        // so every study recomputes it from the same committed memory.
        b.date.setNewest(date);
        b.time.setNewest(time);
        b.open.setNewest(open);
        b.high.setNewest(high);
        b.low.setNewest(low);
        b.close.setNewest(close);
        b.volume.setNewest(volume);
        return;
    }
    // Any other bar number appends: it need not grow, and dates and times are
    // not checked.
    b.date.push(date);
    b.time.push(time);
    b.open.push(open);
    b.high.push(high);
    b.low.push(low);
    b.close.push(close);
    b.volume.push(volume);
    state.records.commit();
    state.lastBarNumber = barNumber;
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_API std::int32_t ZT_CALL E_BARVALUES(std::int32_t stateId, std::int32_t barNumber,
                                        std::int32_t date, std::int32_t time, double open,
                                        double high, double low, double close, double volume) {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr) return 0;
        PushBar(*state, barNumber, date, time, open, high, low, close, volume);
        return 1;
    } catch (...) {
        return 0;
    }
}

// Returns what the last study evaluation on the state left in the slot; it
// computes nothing.
ZT_API double ZT_CALL E_GETRETURN(std::int32_t stateId, std::int32_t slot) {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr || slot < 0 || slot >= kReturnSlotCount) return 0.0;
        return state->slots.values[slot];
    } catch (...) {
        return 0.0;
    }
}

}  // extern "C"
