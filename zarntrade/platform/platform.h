// The thin layer between the library and the operating system: the registry
// lock (a critical section on Windows, a re-entrant lock on one word
// elsewhere), thread-local storage in the image's own block on Windows, and
// the load/unload step that the Windows entry point, or the
// shared-object constructor and destructor elsewhere, run. Nothing else in
// the library knows which platform it is built for.
#pragma once

#include <cstdint>
#if !defined(_WIN32)
#include <atomic>
#else
// What the C runtime's TLS support (tlssup) puts in the image: the start of
// the template of its TLS block, and the index of that block in every
// thread's TLS array, which the loader sets when it maps the image (also
// when it is loaded at run time: every thread, those already running too,
// gets its copy).
extern "C" {
extern unsigned long _tls_index;
extern char _tls_start;
}
// The registry lock's critical section, entered and left straight from the
// caller (the system's declarations, without windows.h in every file).
struct _RTL_CRITICAL_SECTION;
extern "C" {
__declspec(dllimport) void __stdcall EnterCriticalSection(_RTL_CRITICAL_SECTION* section);
__declspec(dllimport) void __stdcall LeaveCriticalSection(_RTL_CRITICAL_SECTION* section);
}
#endif

namespace zt {

#if defined(_WIN32)
// Thread-local variables in the image's TLS block, as the platform's own
// compilers make them: GCC for MinGW makes thread_local a call into its
// emulation (__emutls_get_address and a TLS slot look-up) on every access,
// where this is two loads from the thread's environment block. A variable is
// defined in the template with ZT_TLS_TEMPLATE and reached through
// ThreadCopy; the template itself is never read or written. (".tls$ZT" sorts
// between the runtime's ".tls" and ".tls$ZZZ", which mark the block's ends;
// tests/windows/check_tls_layout.cmake checks the built DLL.)
#define ZT_TLS_TEMPLATE [[gnu::section(".tls$ZT")]]

template <class T>
inline T& ThreadCopy(T& inTemplate) noexcept {
    char** blocks;  // the thread environment block's ThreadLocalStoragePointer
#if defined(__x86_64__)
    asm("movq %%gs:0x58, %0" : "=r"(blocks));
#else
    asm("movl %%fs:0x2c, %0" : "=r"(blocks));
#endif
    const std::uintptr_t offset =
        reinterpret_cast<std::uintptr_t>(&inTemplate) - reinterpret_cast<std::uintptr_t>(&_tls_start);
    return *reinterpret_cast<T*>(blocks[_tls_index] + offset);
}
#endif

// Re-entrant for the thread that holds it: state creation looks states up and
// destroys them while it holds the lock.
class RegistryLock {
public:
    static void Initialise() noexcept;
    static void Enter() noexcept;
    static void Leave() noexcept;
};

#if defined(_WIN32)
namespace lock_detail {
extern _RTL_CRITICAL_SECTION Section;
}  // namespace lock_detail

inline void RegistryLock::Enter() noexcept { EnterCriticalSection(&lock_detail::Section); }
inline void RegistryLock::Leave() noexcept { LeaveCriticalSection(&lock_detail::Section); }
#else
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
