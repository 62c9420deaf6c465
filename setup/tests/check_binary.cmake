# Inspects the linked installer image (nothing is run): a Windows GUI program
# that imports from system DLLs only (the C++ runtime is linked in) and
# carries its dialogs and a manifest that asks Windows for administrator
# rights before it starts (it writes below Program Files and into the
# platform's folders); and the finished installer begins with that image.
#   OBJDUMP, IMAGE, INSTALLER, FORMAT (pei-i386 or pei-x86-64)
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND "${OBJDUMP}" -p "${IMAGE}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${IMAGE}")
endif()

set(failures "")

if(NOT headers MATCHES "file format ${FORMAT}")
  list(APPEND failures "not of file format ${FORMAT}")
endif()

if(NOT headers MATCHES "Subsystem[ \t]+00000002")
  list(APPEND failures "not a Windows GUI program")
endif()

set(system_dlls kernel32.dll user32.dll shell32.dll msvcrt.dll advapi32.dll gdi32.dll comctl32.dll ole32.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  list(APPEND failures "no import table found")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  if(NOT dll_lower IN_LIST system_dlls)
    list(APPEND failures "imports ${dll}, which is not a system DLL")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

# Resource types 5 (dialog: ids 101 = 0x65 and 109 = 0x6d) and 24 (manifest).
foreach(entry "ID: 0x000005" "ID: 0x000065" "ID: 0x00006d" "ID: 0x000018")
  string(FIND "${headers}" "Entry: ${entry}" at)
  if(at EQUAL -1)
    list(APPEND failures "no resource entry ${entry}")
  endif()
endforeach()

file(STRINGS "${IMAGE}" manifest REGEX "requestedExecutionLevel")
list(LENGTH manifest manifest_count)
if(NOT manifest_count EQUAL 1 OR NOT manifest MATCHES "level=\"requireAdministrator\""
   OR NOT manifest MATCHES "uiAccess=\"false\"")
  list(APPEND failures "manifest does not request requireAdministrator with uiAccess false: ${manifest}")
endif()

file(SIZE "${IMAGE}" image_size)
file(READ "${IMAGE}" image_hex HEX)
file(READ "${INSTALLER}" installer_head_hex HEX LIMIT ${image_size})
if(NOT image_hex STREQUAL installer_head_hex)
  list(APPEND failures "the finished installer does not begin with the linked image")
endif()

if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "${IMAGE}:\n  ${failures}")
endif()
message(STATUS "${IMAGE}: GUI program, system imports only, dialogs 101 and 109, requireAdministrator manifest")
