// The process-wide registries: study states by id, chart contexts by the
// host's id, the selected context, and the ring of recently created or
// checked states from which the live-state limit evicts.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "store/series_ring.h"
#include "store/state.h"

namespace zt {

inline constexpr std::int32_t kMaxLiveStates = 1000;

// A chart context lists the states created while it was selected. It refers
// to states by id only and owns none.
struct ChartContext {
    std::vector<std::int32_t> stateIds;
};

struct CurrentContextSelection {
    std::int32_t id = 0;
    ChartContext* record = nullptr;
};

// The live states by id modulo its size: a look-up finds a state here
// without walking the map (ids are handed out in turn, so the live ones
// rarely share a place; the map settles the rest). Only ever live states, or
// null; guarded by RegistryLock. A table of its own, set up before any code
// runs, so that the look-up every export starts with needs no check that the
// registries were constructed.
inline constexpr std::uint32_t kStateIndexSize = 1024;
inline constinit std::array<StudyState*, kStateIndexSize> StateIndex{};

// Everything below is guarded by RegistryLock.
struct Registries {
    std::map<std::int32_t, std::unique_ptr<StudyState>> states;
    std::map<std::int32_t, std::unique_ptr<ChartContext>> contexts;
    CurrentContextSelection current;
    SeriesRing<std::int32_t, kMaxLiveStates> recentStates;
    std::int32_t lastStateId = 0;
    std::int32_t liveStateCount = 0;
};

inline Registries& TheRegistries() {
    static Registries registries;
    return registries;
}

// Changes, under the lock, before any state is released; never 0.
inline constinit std::atomic<std::uint32_t> StateGeneration{1};

// The state this thread found last and the generation it was found in: while
// no state has been released since, looking up the same id again needs no
// lock (an export and the slot reads after it look up one state in a row).
// Only found states are kept, so a miss always takes the traced path.
// On Windows, whose lock (a critical section, entered through a call into
// the system) costs more than the lock word, the thread keeps the state it
// found last for each of 64 places (id modulo 64), in the DLL's own TLS
// block: a host feeding the states of its charts in turn finds each again
// without the lock until a state is released.
namespace registry_detail {
struct LastFound {
    std::int32_t id;
    std::uint32_t generation;  // 0: nothing kept
    StudyState* state;
};
#if defined(_WIN32)
inline constexpr std::uint32_t kFoundPlaces = 64;
extern LastFound FoundTemplate[kFoundPlaces];  // in the TLS template: ThreadCopy
inline LastFound& Place(std::int32_t id) noexcept {
    return ThreadCopy(FoundTemplate)[static_cast<std::uint32_t>(id) % kFoundPlaces];
}
inline LastFound LastFoundFor(std::int32_t id) noexcept { return Place(id); }
inline void KeepFound(const LastFound& found) noexcept { Place(found.id) = found; }
#else
// Read and written by name, never through a reference: GCC 12 with both
// AddressSanitizer and UndefinedBehaviorSanitizer miscompiles the null check
// of a reference to it (it tests stale flags) and reports a null store.
extern constinit thread_local LastFound LastOfThread [[gnu::tls_model("initial-exec")]];
inline LastFound LastFoundFor(std::int32_t) noexcept { return LastOfThread; }
inline void KeepFound(const LastFound& found) noexcept { LastOfThread = found; }
#endif
}  // namespace registry_detail

// Notes a state just found holding the lock.
inline void RememberFound(std::int32_t id, StudyState* state) noexcept {
    registry_detail::KeepFound({id, StateGeneration.load(std::memory_order_relaxed), state});
}

// Forgets every state and context, as if the library had just been loaded.
// Called holding the lock.
void ResetRegistries();

inline std::uint32_t StateIndexPlace(std::int32_t id) { return static_cast<std::uint32_t>(id) % kStateIndexSize; }

// The look-up under the lock: the direct index, then the map. A hit is
// entered in the index and kept as the thread's last found; a miss writes
// "FindState failed for id %d". Out of line, so that an export's repeat
// look-up (the common case) saves no registers for it.
[[gnu::noinline]] StudyState* FindStateLocked(std::int32_t id) noexcept;

// Looks a state up: the state this thread found last (for the id's place)
// while no state has been released since, else under the lock.
inline StudyState* FindState(std::int32_t id) noexcept {
    const registry_detail::LastFound last = registry_detail::LastFoundFor(id);
    if (last.id == id && last.generation == StateGeneration.load(std::memory_order_acquire)) [[likely]]
        return last.state;
    return FindStateLocked(id);
}
void DestroyState(StudyState* state);

// Registers a state made elsewhere (a new one, or one restored from a
// snapshot) as creating a state does: a new id, in the selected context,
// evicting past the live-state limit. Throws std::bad_alloc, having changed
// nothing, when there is no memory for it.
std::int32_t RegisterState(std::unique_ptr<StudyState> state);

}  // namespace zt
