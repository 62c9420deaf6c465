# Tests that run the Windows build's programs under wine (included by the
# Windows builds).
#
#   ZT_WINE         the wine loader of this build's architecture
#   ZT_RUN_WINDOWS  command prefix for such a test: empty in the 64-bit build;
#                   in the 32-bit build it runs the command only when the
#                   probe found that this machine runs 32-bit programs, and
#                   otherwise reports the test skipped with the probe's reason
#   zt_windows_test(NAME)  gives test NAME a wine prefix of its own in the
#                   build folder, quiet wine settings and the skip code, and
#                   in the 32-bit build makes it wait for the probe
set(ZT_WINE "${CMAKE_CROSSCOMPILING_EMULATOR}")
set(ZT_RUN_WINDOWS "")
set(ZT_SKIP_CODE 77)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/wine)

function(zt_windows_test name)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;WINEPREFIX=${CMAKE_BINARY_DIR}/wine/${name}"
    SKIP_RETURN_CODE ${ZT_SKIP_CODE})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED zt_32bit_runs)
  endif()
endfunction()

if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

# The 32-bit probe: a static i386 Linux program (does the kernel execute
# 32-bit code?) and a 32-bit Windows program (does 32-bit wine start it?).
if(NOT ZT_WINE)
  set(ZT_WINE /usr/lib/wine/wine)
endif()
set(ZT_PROBE_STATUS ${CMAKE_BINARY_DIR}/probe32/status.txt)
set(ZT_RUN_WINDOWS bash ${CMAKE_SOURCE_DIR}/tests/windows/when_32bit_runs.sh ${ZT_PROBE_STATUS})

add_executable(zt_probe32 ${CMAKE_SOURCE_DIR}/tests/windows/probe.cpp)
target_link_options(zt_probe32 PRIVATE -static -static-libgcc -static-libstdc++)

# Built with the build machine's binutils, which assemble and link i386 code.
find_program(ZT_HOST_AS NAMES as)
find_program(ZT_HOST_LD NAMES ld)
set(linux_probe ${CMAKE_BINARY_DIR}/probe32/probe32-linux)
if(ZT_HOST_AS AND ZT_HOST_LD)
  # Only some generators make an output's folder themselves (Ninja does,
  # Unix Makefiles do not).
  add_custom_command(OUTPUT ${linux_probe}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/probe32
    COMMAND ${ZT_HOST_AS} --32 -o ${linux_probe}.o ${CMAKE_SOURCE_DIR}/tests/windows/probe32.s
    COMMAND ${ZT_HOST_LD} -m elf_i386 -static -o ${linux_probe} ${linux_probe}.o
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/probe32.s
    COMMENT "Building the 32-bit Linux probe"
    VERBATIM)
  add_custom_target(zt_probe32_linux ALL DEPENDS ${linux_probe})
endif()

add_test(NAME zt_probe32
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/windows/probe32.sh ${ZT_PROBE_STATUS} ${linux_probe}
          $<TARGET_FILE:zt_probe32> ${ZT_WINE})
zt_windows_test(zt_probe32)
set_tests_properties(zt_probe32 PROPERTIES FIXTURES_REQUIRED "" FIXTURES_SETUP zt_32bit_runs TIMEOUT 400)

# The skip path itself, which this machine may never take otherwise.
add_test(NAME zt_probe32_skip_path
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/tests/windows
          -DWORK=${CMAKE_BINARY_DIR}/probe32/skip-path -P ${CMAKE_SOURCE_DIR}/tests/windows/check_probe_skip.cmake)
