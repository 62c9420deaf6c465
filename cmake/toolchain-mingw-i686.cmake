# 32-bit Windows cross build: the deliverable DLL and installer.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The 32-bit programs run under 32-bit wine (Debian's wine32:i386, in the same
# 64-bit prefix layout that wine64 uses), when the machine can execute 32-bit
# code at all: the tests ask a probe first (cmake/windows_tests.cmake).
find_program(WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE32})
endif()
