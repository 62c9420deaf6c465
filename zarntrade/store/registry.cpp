#include "store/registry.h"

#include <algorithm>
#include <new>

#include "platform/platform.h"
#include "include/zarntrade.h"
#include "log/log.h"

namespace zt {

namespace {

ChartContext* LookUpContext(Registries& r, std::int32_t id) {
    auto it = r.contexts.find(id);
    if (it == r.contexts.end()) {
        TraceLog("Context %d NOT found", id);
        return nullptr;
    }
    TraceLog("Context %d found", id);
    return it->second.get();
}

// Moves an id to the newest position of the recent-state ring: the other ids
// keep their order and close up toward the newest end, then the id is pushed
// into the place left free at the oldest end.
void MoveToFront(SeriesRing<std::int32_t, kMaxLiveStates>& ring, std::int32_t id) {
    std::uint32_t removed = 0;
    for (std::uint32_t k = 0; k < kMaxLiveStates; ++k) {
        const std::int32_t v = ring.at(k);
        if (v == id)
            ++removed;
        else if (removed != 0)
            ring.slot(k - removed) = v;
    }
    ring.push(id);
}

std::int32_t CreateState(std::int32_t gcFlag) {
    TraceLog("Creating state");
    auto state = std::unique_ptr<StudyState>(new (std::nothrow) StudyState());
    if (!state) return 0;
    state->gc = gcFlag != 0 ? 1 : 0;
    return RegisterState(std::move(state));
}

}  // namespace

std::int32_t RegisterState(std::unique_ptr<StudyState> state) {
    Registries& r = TheRegistries();
    {
        RegistryGuard guard;
        state->id = ++r.lastStateId;
    }
    const std::int32_t id = state->id;
    TraceLog("Create State: %d", id);

    RegistryGuard guard;
    // Everything that needs memory comes first: a creation that runs out of
    // it throws before anything changed, so no state is registered whose id
    // the host never learns, and no state is evicted for nothing.
    if (ChartContext* context = r.current.record) {
        std::vector<std::int32_t>& ids = context->stateIds;
        if (ids.size() == ids.capacity()) ids.reserve(2 * ids.size() + 8);
    }
    StudyState* const created = state.get();
    r.states.emplace(id, std::move(state));
    ++r.liveStateCount;
    if (r.liveStateCount > kMaxLiveStates) {
        // The oldest entry is the place the push below overwrites; the new
        // state is not in the ring yet.
        if (StudyState* oldest = FindState(r.recentStates.at(kMaxLiveStates - 1)))
            DestroyState(oldest);
    }
    StateIndex[StateIndexPlace(id)] = created;
    if (r.current.record != nullptr) {
        TraceLog("Add State %d to Context %d", id, r.current.id);
        r.current.record->stateIds.push_back(id);  // room reserved above
    }
    r.recentStates.push(id);
    return id;
}

#if defined(_WIN32)
ZT_TLS_TEMPLATE registry_detail::LastFound registry_detail::FoundTemplate[kFoundPlaces] = {};
#else
constinit thread_local registry_detail::LastFound registry_detail::LastOfThread [[gnu::tls_model("initial-exec")]] = {
    0, 0, nullptr};
#endif

namespace {

// A new generation: every thread's last found state is forgotten.
void NextGeneration() {
    std::uint32_t next = StateGeneration.load(std::memory_order_relaxed) + 1;
    if (next == 0) next = 1;
    StateGeneration.store(next, std::memory_order_release);
}

}  // namespace

StudyState* FindStateLocked(std::int32_t id) noexcept {
    RegistryLock::Enter();
    StudyState* const place = StateIndex[StateIndexPlace(id)];
    if (place != nullptr && place->id == id) [[likely]] {
        RememberFound(id, place);
        RegistryLock::Leave();
        return place;
    }
    Registries& r = TheRegistries();
    StudyState* found = nullptr;
    auto it = r.states.find(id);
    if (it != r.states.end()) {
        found = StateIndex[StateIndexPlace(id)] = it->second.get();
        RememberFound(id, found);
    }
    RegistryLock::Leave();
    if (found == nullptr) TraceLog("FindState failed for id %d", id);
    return found;
}

void ResetRegistries() {
    NextGeneration();
    TheRegistries() = Registries{};
    StateIndex.fill(nullptr);
}

void DestroyState(StudyState* state) {
    if (state == nullptr) return;
    Registries& r = TheRegistries();
    TraceLog("Destroy State: %d", state->id);
    RegistryGuard guard;
    const std::int32_t id = state->id;
    // Only the selected context's list is cleaned; other contexts keep the id
    // and pass over it when they are freed.
    if (r.current.record != nullptr) {
        auto& ids = r.current.record->stateIds;
        ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    }
    const bool counted = state->gc == 1;
    if (StateIndex[StateIndexPlace(id)] == state) StateIndex[StateIndexPlace(id)] = nullptr;
    NextGeneration();
    r.states.erase(id);  // releases the state with its rings and memory records
    if (counted) --r.liveStateCount;
    // The id stays in the recent-state ring; an eviction that meets it finds
    // nothing.
}

}  // namespace zt

using namespace zt;

extern "C" {

ZT_API void ZT_CALL Dll_Add(std::int32_t contextId) {
    try {
        Registries& r = TheRegistries();
        RegistryGuard guard;
        if (LookUpContext(r, contextId) != nullptr) {
            TraceLog("Add Context(existing): %u", static_cast<unsigned>(contextId));
            return;
        }
        auto record = std::unique_ptr<ChartContext>(new (std::nothrow) ChartContext());
        if (!record) return;  // no memory: nothing added, nothing written
        r.contexts.emplace(contextId, std::move(record));
        TraceLog("Add Context %u", static_cast<unsigned>(contextId));
    } catch (...) {
        TraceLog("Exception in Dll_Add");
    }
}

ZT_API void ZT_CALL Dll_Context(std::int32_t contextId) {
    try {
        Registries& r = TheRegistries();
        RegistryGuard guard;
        if (contextId == r.current.id) return;
        TraceLog("Set Context %u", static_cast<unsigned>(contextId));
        r.current.id = contextId;
        r.current.record = LookUpContext(r, contextId);
    } catch (...) {
        TraceLog("Exception in Dll_Context");
    }
}

ZT_API void ZT_CALL Dll_Free(std::int32_t contextId) {
    try {
        Registries& r = TheRegistries();
        RegistryGuard guard;
        if (LookUpContext(r, contextId) == nullptr) return;
        auto node = r.contexts.extract(contextId);
        // The list is taken over, not copied: freeing a chart needs no
        // memory, so it cannot fail half-way and leave the selection
        // pointing at a released record.
        const std::vector<std::int32_t> ids = std::move(node.mapped()->stateIds);
        for (std::int32_t id : ids) DestroyState(FindState(id));
        // The selection must not outlive its record: it falls back to no
        // context at all.
        if (r.current.record == node.mapped().get()) r.current = CurrentContextSelection{};
        node = {};
        TraceLog("Delete Context %u", static_cast<unsigned>(contextId));
    } catch (...) {
        TraceLog("Exception in Dll_Free");
    }
}

ZT_API std::int32_t ZT_CALL E_CREATESTATE2(std::int32_t gc) {
    try {
        return CreateState(gc);
    } catch (...) {
        return 0;
    }
}

ZT_API std::int32_t ZT_CALL E_CREATESTATE(std::int32_t, std::int32_t gc) { return E_CREATESTATE2(gc); }

ZT_API void ZT_CALL E_DESTROYSTATE(std::int32_t stateId) {
    try {
        DestroyState(FindState(stateId));
    } catch (...) {
    }
}

ZT_API std::int32_t ZT_CALL E_CHECKSTATE(std::int32_t stateId) {
    try {
        if (FindState(stateId) == nullptr) return 0;
        RegistryGuard guard;
        MoveToFront(TheRegistries().recentStates, stateId);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
