// The thin layer between the library and the operating system: the registry
// lock (a critical section on Windows, a re-entrant lock on one word
// elsewhere) and the load/unload step that the Windows entry point, or the
// shared-object constructor and destructor elsewhere, run. Nothing else in
// the library knows which platform it is built for.
#pragma once

#include <cstdint>

namespace zt {

// Re-entrant for the thread that holds it: state creation looks states up and
// destroys them while it holds the lock.
class RegistryLock {
public:
    static void Initialise() noexcept;
    static void Enter() noexcept;
    static void Leave() noexcept;
};

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
