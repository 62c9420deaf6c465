#include "platform/platform.h"
#include "include/zarntrade.h"
#include "log/log.h"
#include "store/registry.h"

using namespace zt;

// Lists every chart context with its states, then every live state, through
// the trace channel. It holds the registry lock while it walks, so it never
// sees a registry in the middle of a change.
extern "C" ZT_API void ZT_CALL LogMemoryReport(void) {
    try {
        Registries& r = TheRegistries();
        RegistryGuard guard;
        for (const auto& [id, context] : r.contexts) {
            TraceLog("Context %d with %d states", id,
                     static_cast<int>(context->stateIds.size()));
            for (std::int32_t stateId : context->stateIds) TraceLog("  state %d", stateId);
        }
        for (const auto& [id, state] : r.states) TraceLog("state %d, gc = %d", id, state->gc);
        // The library keeps no log file, so there is nothing to flush.
    } catch (...) {
    }
}
