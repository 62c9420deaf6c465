// The evaluation skeleton every study entry shares: find the state, restore
// the study's memory record (making it on the study's first evaluation on the
// state) and compute, write all ten return slots, and never let anything
// escape to the host.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "store/registry.h"
#include "store/state.h"
#include "studies/study_records.h"

namespace zt {

// A record's two copies, in one allocation; which one is committed is the
// state's choice (RecordTable::committed).
template <class Memory>
struct RecordCopies {
    Memory copy[2];
};

// Makes the record in `Slot` unless the state holds it already, with both
// copies fresh (every started flag clear): the record it would have been had
// it been made with the state. False, leaving the slot empty, when there is
// no memory for it.
template <RecordSlot Slot>
bool EnsureRecord(StudyState& state) noexcept {
    using Memory = RecordType<Slot>;
    using Copies = RecordCopies<Memory>;
    static_assert(std::is_trivially_copyable_v<Memory> && std::is_trivially_destructible_v<Memory>,
                  "a record is a plain value: restored by one copy, released by freeing it");
    static_assert(alignof(Copies) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    constexpr auto slot = static_cast<std::uint32_t>(Slot);
    if (state.records.find(slot) != nullptr) return true;
    void* storage = AllocateRecordStorage(sizeof(Copies));
    if (storage == nullptr) return false;
    state.records.adopt(slot, new (storage) Copies{});
    return true;
}

// Restores the working copy of the record in `Slot` from the committed copy
// and returns it: one flat copy, or the record's own restoreFrom where it
// copies only what an evaluation can read. The state must hold the record.
template <RecordSlot Slot>
RecordType<Slot>& RestoreRecord(StudyState& state) noexcept {
    using Memory = RecordType<Slot>;
    auto* copies = static_cast<RecordCopies<Memory>*>(state.records.find(static_cast<std::uint32_t>(Slot)));
    Memory& working = copies->copy[state.records.working()];
    const Memory& committed = copies->copy[state.records.committed()];
    if constexpr (requires { working.restoreFrom(committed); })
        working.restoreFrom(committed);
    else
        working = committed;
    return working;
}

// The working copy of a record as the last evaluation left it, or null
// (for tests and tools that look inside a state).
template <RecordSlot Slot>
RecordType<Slot>* WorkingRecord(StudyState& state) noexcept {
    auto* copies =
        static_cast<RecordCopies<RecordType<Slot>>*>(state.records.find(static_cast<std::uint32_t>(Slot)));
    return copies == nullptr ? nullptr : &copies->copy[state.records.working()];
}

// Runs `compute(slots)` and writes all ten slots from what it leaves: its
// result in slot 0, 0.0 wherever it wrote nothing.
template <class Compute>
double WriteSlots(StudyState& state, Compute&& compute) {
    ReturnSlots slots;
    const double value = compute(slots.values);
    slots.values[0] = value;
    state.slots = slots;
    return value;
}

// `compute(state, slots)` returns the study value and fills the secondary
// results from slot 1 on; slots it leaves alone read 0.0. Slots are written
// only after a successful computation, and an unknown id touches none.
template <class Compute>
double EvaluateStudy(std::int32_t stateId, Compute&& compute) noexcept {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr) return 0.0;
        return WriteSlots(*state, [&](double* slots) { return compute(*state, slots); });
    } catch (...) {
        return 0.0;
    }
}

// The same for a study that keeps memory: `compute(state, record, slots)`
// works on the working copy of the record in `Slot`, restored from the
// committed copy. The record is made on the study's first evaluation on the
// state; when there is no memory for it the study answers 0.0, writes no
// slot and leaves the state as it was, and its next evaluation tries again.
template <RecordSlot Slot, class Compute>
double EvaluateStudy(std::int32_t stateId, Compute&& compute) noexcept {
    try {
        StudyState* state = FindState(stateId);
        if (state == nullptr) return 0.0;
        if (!EnsureRecord<Slot>(*state)) return 0.0;
        RecordType<Slot>& record = RestoreRecord<Slot>(*state);
        return WriteSlots(*state, [&](double* slots) { return compute(*state, record, slots); });
    } catch (...) {
        return 0.0;
    }
}

}  // namespace zt
