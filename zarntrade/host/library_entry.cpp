// The library's entry point: DllMain on Windows; elsewhere the shared
// object's constructor and destructor stand in for the process attach and
// detach notifications. Linked into the shared library only, so that test
// programs drive LibraryEntry themselves.
#include "platform/platform.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    zt::LibraryEntry(reason);
    return TRUE;
}
#else
// They touch only the lock (ready from static initialisation) and the
// standard error stream, so their order against other static initialisers
// does not matter.
__attribute__((constructor)) static void ZtLoad() { zt::LibraryEntry(zt::kProcessAttach); }
__attribute__((destructor)) static void ZtUnload() { zt::LibraryEntry(zt::kProcessDetach); }
#endif
