// The thin layer between the library and the operating system: the registry
// lock (a critical section on Windows, a re-entrant lock on one word
// elsewhere) and the load/unload step that the Windows entry point, or the
// shared-object constructor and destructor elsewhere, run. Nothing else in
// the library knows which platform it is built for.
#pragma once

#include <cstdint>
#if !defined(_WIN32)
#include <atomic>
#endif

namespace zt {

// Re-entrant for the thread that holds it: state creation looks states up and
// destroys them while it holds the lock.
class RegistryLock {
public:
    static void Initialise() noexcept;
    static void Enter() noexcept;
    static void Leave() noexcept;
};

#if !defined(_WIN32)
// Every export takes the lock to look its state up, so taking and letting go
// of a free lock is written here, in line: one compare-and-swap and one
// exchange on the lock word (0 free, 1 held, 2 held with threads asleep
// waiting for it), and the holder's depth in a thread-local counter, which
// is nonzero exactly while this thread holds the lock.
namespace lock_detail {
extern std::atomic<std::uint32_t> LockWord;
extern constinit thread_local std::uint32_t Depth [[gnu::tls_model("initial-exec")]];
void WaitForLock() noexcept;  // until this thread has taken it
void WakeWaiter() noexcept;
}  // namespace lock_detail

inline void RegistryLock::Enter() noexcept {
    using namespace lock_detail;
    if (Depth != 0) {  // this thread holds it already
        ++Depth;
        return;
    }
    std::uint32_t expected = 0;
    if (!LockWord.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed))
        WaitForLock();
    Depth = 1;
}

inline void RegistryLock::Leave() noexcept {
    using namespace lock_detail;
    if (--Depth != 0) return;
    if (LockWord.exchange(0, std::memory_order_release) == 2) WakeWaiter();
}
#endif

class RegistryGuard {
public:
    RegistryGuard() noexcept { RegistryLock::Enter(); }
    ~RegistryGuard() { RegistryLock::Leave(); }
    RegistryGuard(const RegistryGuard&) = delete;
    RegistryGuard& operator=(const RegistryGuard&) = delete;
};

// Reason codes of the library entry point, as Windows numbers them.
enum EntryReason : std::uint32_t {
    kProcessDetach = 0,
    kProcessAttach = 1,
    kThreadAttach = 2,
    kThreadDetach = 3,
};

// What the library does when it is mapped, unmapped, and when threads come
// and go. Never throws.
void LibraryEntry(std::uint32_t reason) noexcept;

}  // namespace zt
