#include "host/platform.h"

#include "log/log.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <atomic>
#include <thread>
#endif

namespace zt {

namespace {
// Set once the one-time start-up work has been done.
std::uint8_t StartedUp = 0;

#if defined(_WIN32)
CRITICAL_SECTION Section;
#else
// A re-entrant lock on one word, which every look-up of a state takes, so it
// should cost no more than a critical section: 0 free, 1 held, 2 held with
// threads asleep waiting for it. The holder's id lets the holding thread
// enter again; Depth is touched by the holder alone.
std::atomic<std::uint32_t> LockWord{0};
std::atomic<std::thread::id> Holder{};
std::uint32_t Depth = 0;
#endif
}  // namespace

#if defined(_WIN32)
void RegistryLock::Initialise() noexcept { InitializeCriticalSection(&Section); }
void RegistryLock::Enter() noexcept { EnterCriticalSection(&Section); }
void RegistryLock::Leave() noexcept { LeaveCriticalSection(&Section); }
#else
void RegistryLock::Initialise() noexcept {}  // the lock is ready from static initialisation

void RegistryLock::Enter() noexcept {
    const std::thread::id self = std::this_thread::get_id();
    if (Holder.load(std::memory_order_relaxed) == self) {  // only this thread ever stores its own id
        ++Depth;
        return;
    }
    std::uint32_t expected = 0;
    if (!LockWord.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed)) {
        // Taken: mark it as waited for, and sleep until it is let go.
        while (LockWord.exchange(2, std::memory_order_acquire) != 0) LockWord.wait(2, std::memory_order_relaxed);
    }
    Holder.store(self, std::memory_order_relaxed);
    Depth = 1;
}

void RegistryLock::Leave() noexcept {
    if (--Depth != 0) return;
    Holder.store(std::thread::id{}, std::memory_order_relaxed);
    if (LockWord.exchange(0, std::memory_order_release) == 2) LockWord.notify_one();
}
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
