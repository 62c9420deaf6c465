#include "platform/platform.h"

#include "log/log.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace zt {

namespace {
// Set once the one-time start-up work has been done.
std::uint8_t StartedUp = 0;

}  // namespace

#if defined(_WIN32)
CRITICAL_SECTION lock_detail::Section;
void RegistryLock::Initialise() noexcept { InitializeCriticalSection(&lock_detail::Section); }
#else
namespace lock_detail {
std::atomic<std::uint32_t> LockWord{0};
constinit thread_local std::uint32_t Depth [[gnu::tls_model("initial-exec")]] = 0;

void WaitForLock() noexcept {
    // Taken: mark it as waited for, and sleep until it is let go.
    while (LockWord.exchange(2, std::memory_order_acquire) != 0) LockWord.wait(2, std::memory_order_relaxed);
}

void WakeWaiter() noexcept { LockWord.notify_one(); }
}  // namespace lock_detail

void RegistryLock::Initialise() noexcept {}  // the lock is ready from static initialisation
#endif

void LibraryEntry(std::uint32_t reason) noexcept {
    try {
        switch (reason) {
            case kProcessAttach:
                if (StartedUp == 0) {
                    RegistryLock::Initialise();
                    StartedUp = 1;
                }
                TraceLog("DLL_PROCESS_ATTACH");
                break;
            case kThreadAttach: TraceLog("DLL_THREAD_ATTACH"); break;
            case kThreadDetach: TraceLog("DLL_THREAD_DETACH"); break;
            case kProcessDetach:
                // States still registered are left to the process's end; the
                // lock is not deleted.
                TraceLog("DLL_PROCESS_DETACH");
                LogShutdown();
                break;
            default: break;
        }
    } catch (...) {
    }
}

}  // namespace zt
