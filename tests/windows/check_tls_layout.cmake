# The thread-local template of the DLL (the states a thread found last, 64
# of them) must
# lie inside the image's TLS block, between the C runtime's _tls_start and
# _tls_end: ThreadCopy reaches each thread's copy by its offset from
# _tls_start. Reads the copy of the DLL that keeps its symbols.
#   cmake -DNM=... -DDLL=zarntrade-symbols.dll -DPOINTER_SIZE=4|8 -P check_tls_layout.cmake
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} ${DLL} failed")
endif()
function(address_of pattern out)
  string(REGEX MATCH "([0-9a-f]+) [A-Za-z] ${pattern}\n" line "${symbols}")
  if(NOT line)
    message(FATAL_ERROR "no symbol ${pattern} in ${DLL}")
  endif()
  math(EXPR value "0x${CMAKE_MATCH_1}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()
address_of("_?_tls_start" start)
address_of("_?_tls_end" end)
address_of("_?_ZN2zt15registry_detail13FoundTemplateE" last)
math(EXPR size "64 * (8 + ${POINTER_SIZE})")
math(EXPR last_end "${last} + ${size}")
if(last LESS start OR last_end GREATER end)
  message(FATAL_ERROR "the TLS template (${last}, ${size} bytes) lies outside the TLS block [${start}, ${end})")
endif()
math(EXPR misaligned "(${last} - ${start}) % ${POINTER_SIZE}")
if(NOT misaligned EQUAL 0)
  message(FATAL_ERROR "the TLS template is not aligned in its block")
endif()
message(STATUS "TLS template at offset ${last} - ${start} of the block, ${size} bytes, block ends at ${end}")
