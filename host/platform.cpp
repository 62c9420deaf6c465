#include "host/platform.h"

#include "log/log.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <mutex>
#endif

namespace zt {

namespace {
// Set once the one-time start-up work has been done.
std::uint8_t StartedUp = 0;

#if defined(_WIN32)
CRITICAL_SECTION Section;
#else
std::recursive_mutex Mutex;
#endif
}  // namespace

#if defined(_WIN32)
void RegistryLock::Initialise() noexcept { InitializeCriticalSection(&Section); }
void RegistryLock::Enter() noexcept { EnterCriticalSection(&Section); }
void RegistryLock::Leave() noexcept { LeaveCriticalSection(&Section); }
#else
void RegistryLock::Initialise() noexcept {}  // the mutex is ready from static initialisation
void RegistryLock::Enter() noexcept { Mutex.lock(); }
void RegistryLock::Leave() noexcept { Mutex.unlock(); }
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
