# Reads the study catalogue (zarntrade/include/zarntrade_studies.inc) for the
# build and the checks that follow it:
#   zt_read_catalogue(FILE)
# sets, in the caller's scope,
#   ZT_STUDIES                the study names, in catalogue order
#   ZT_STUDY_<name>_SCALE     ZT_PRICE or ZT_PANEL
#   ZT_STUDY_<name>_SLOTS     the slot names as a list
#   ZT_STUDY_<name>_WARMUP    the warm-up
#   ZT_STUDY_<name>_REACH     ZT_DLL or ZT_DIRECT
#   ZT_STUDY_<name>_SIGNATURE ZT_ID or ZT_ID_PERIOD_SMOOTHING
#   ZT_STUDY_<name>_FAMILY    the family file below zarntrade/studies/
#   ZT_STUDY_<name>_RECORD    the record slot, or none
#   ZT_STUDY_<name>_STICKY_CLOSE, ZT_STUDY_<name>_STICKY_VOLUME  the sticky slots as lists
#   ZT_STUDY_<name>_TEXT      what it computes
# A line it cannot read is an error naming the line.
macro(zt_catalogue_line_error)
  string(REPLACE "%SEMICOLON%" ";" line "${line}")
  message(FATAL_ERROR "${file}: catalogue line not understood (the format is at the top of the file):\n${line}")
endmacro()

function(zt_read_catalogue file)
  file(READ ${file} text)
  string(REPLACE ";" "%SEMICOLON%" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(studies "")
  set(q "\"([^\"]*)\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^ZT_STUDY_INFO\\(")
      continue()
    endif()
    # In two steps: a regular expression keeps at most nine groups.
    if(NOT line MATCHES "^ZT_STUDY_INFO\\(([A-Z0-9_]+), (ZT_PRICE|ZT_PANEL), ([0-9]+), ${q}, ([0-9]+), ${q}, (.*)\\)$")
      zt_catalogue_line_error()
    endif()
    set(name ${CMAKE_MATCH_1})
    list(APPEND studies ${name})
    set(ZT_STUDY_${name}_SCALE ${CMAKE_MATCH_2} PARENT_SCOPE)
    string(REPLACE "," ";" slots "${CMAKE_MATCH_4}")
    set(ZT_STUDY_${name}_SLOTS "${slots}" PARENT_SCOPE)
    set(ZT_STUDY_${name}_WARMUP ${CMAKE_MATCH_5} PARENT_SCOPE)
    set(rest "${CMAKE_MATCH_7}")
    if(NOT rest MATCHES "^(ZT_DLL|ZT_DIRECT), (ZT_ID|ZT_ID_PERIOD_SMOOTHING), ${q}, ([A-Za-z0-9_]+), ${q}, ${q}, ${q}$")
      zt_catalogue_line_error()
    endif()
    set(ZT_STUDY_${name}_REACH ${CMAKE_MATCH_1} PARENT_SCOPE)
    set(ZT_STUDY_${name}_SIGNATURE ${CMAKE_MATCH_2} PARENT_SCOPE)
    set(ZT_STUDY_${name}_FAMILY ${CMAKE_MATCH_3} PARENT_SCOPE)
    set(ZT_STUDY_${name}_RECORD ${CMAKE_MATCH_4} PARENT_SCOPE)
    string(REPLACE "," ";" sticky "${CMAKE_MATCH_5}")
    set(ZT_STUDY_${name}_STICKY_CLOSE "${sticky}" PARENT_SCOPE)
    string(REPLACE "," ";" sticky "${CMAKE_MATCH_6}")
    set(ZT_STUDY_${name}_STICKY_VOLUME "${sticky}" PARENT_SCOPE)
    string(REPLACE "%SEMICOLON%" ";" description "${CMAKE_MATCH_7}")
    set(ZT_STUDY_${name}_TEXT "${description}" PARENT_SCOPE)
  endforeach()
  if(NOT studies)
    message(FATAL_ERROR "${file}: no study in the catalogue")
  endif()
  set(ZT_STUDIES "${studies}" PARENT_SCOPE)
endfunction()
