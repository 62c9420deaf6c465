# The release archive of a win32 build, as scripts/release.sh writes it: the
# zip named with the project's version holds exactly the files a user
# needs, each byte for byte the file of the build or the source tree, with
# SHA-256 sums that match, and the zip's own sum beside it.
#   cmake -DRELEASE=scripts/release.sh -DBUILD=build/win32 -DSOURCE=. -DVERSION=1.0 -DWORK=... -P this
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND bash ${RELEASE} --package ${BUILD} ${WORK}/dist RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "release.sh --package failed (${rc}):\n${out}")
endif()

set(name zarntrade-${VERSION}-win32)
set(zip ${WORK}/dist/${name}.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "no ${zip}; release.sh said:\n${out}")
endif()
set(failures "")

# The zip's own sum, in sha256sum's format.
file(SHA256 ${zip} zip_sum)
file(READ ${zip}.sha256 zip_sum_line)
if(NOT zip_sum_line STREQUAL "${zip_sum}  ${name}.zip\n")
  list(APPEND failures "${name}.zip.sha256 is '${zip_sum_line}', the zip's sum is ${zip_sum}")
endif()

# Unpacked afresh: the archive is what is checked, not the folder it was made from.
file(MAKE_DIRECTORY ${WORK}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${WORK}/unpacked RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${zip}")
endif()
set(top ${WORK}/unpacked/${name})

# Every file and where it comes from ("-" for the files the script writes).
set(expected
  "zarnsetup.exe=${BUILD}/setup/zarnsetup.exe"
  "zarntrade.dll=${BUILD}/zarntrade.dll"
  "include/zarntrade.h=${SOURCE}/zarntrade/include/zarntrade.h"
  "include/zarntrade_exports.inc=${SOURCE}/zarntrade/include/zarntrade_exports.inc"
  "README.txt=-"
  "SHA256SUMS.txt=-")
file(GLOB easylanguage RELATIVE ${SOURCE} ${SOURCE}/easylanguage/*.txt)
foreach(f IN LISTS easylanguage)
  list(APPEND expected "${f}=${SOURCE}/${f}")
endforeach()

file(GLOB_RECURSE found RELATIVE ${WORK}/unpacked ${WORK}/unpacked/*)
set(expected_names "")
foreach(pair IN LISTS expected)
  string(REGEX REPLACE "=.*$" "" f "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" from "${pair}")
  list(APPEND expected_names "${name}/${f}")
  if(NOT EXISTS ${top}/${f})
    list(APPEND failures "${f} missing from the archive")
  elseif(NOT from STREQUAL "-")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${from} ${top}/${f} RESULT_VARIABLE differ)
    if(differ)
      list(APPEND failures "${f} differs from ${from}")
    endif()
  endif()
endforeach()
foreach(f IN LISTS found)
  if(NOT f IN_LIST expected_names)
    list(APPEND failures "unexpected file in the archive: ${f}")
  endif()
endforeach()

# SHA256SUMS.txt: one line per other file, each sum right.
file(STRINGS ${top}/SHA256SUMS.txt sum_lines)
set(summed "")
foreach(line IN LISTS sum_lines)
  if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
    list(APPEND failures "malformed SHA256SUMS.txt line: ${line}")
    continue()
  endif()
  set(sum ${CMAKE_MATCH_1})
  set(f ${CMAKE_MATCH_2})
  list(APPEND summed ${f})
  if(NOT EXISTS ${top}/${f})
    list(APPEND failures "SHA256SUMS.txt names ${f}, which is not in the archive")
    continue()
  endif()
  file(SHA256 ${top}/${f} actual)
  if(NOT sum STREQUAL actual)
    list(APPEND failures "SHA256SUMS.txt: ${f} has ${actual}, listed ${sum}")
  endif()
endforeach()
foreach(pair IN LISTS expected)
  string(REGEX REPLACE "=.*$" "" f "${pair}")
  if(NOT f STREQUAL "SHA256SUMS.txt" AND NOT f IN_LIST summed)
    list(APPEND failures "SHA256SUMS.txt has no sum for ${f}")
  endif()
endforeach()

# The read-me: plain text naming this version, with CR LF line ends (read
# as bytes: file(READ) turns CR LF into LF).
file(READ ${top}/README.txt readme)
if(NOT readme MATCHES "^Zarnik for TradeStation ${VERSION}\n" OR readme MATCHES "@VERSION@")
  list(APPEND failures "README.txt does not begin with \"Zarnik for TradeStation ${VERSION}\"")
endif()
file(READ ${top}/README.txt readme_hex HEX)
string(REGEX REPLACE "(..)" ",\\1" bytes "${readme_hex}")
string(REGEX MATCHALL ",0a" lf "${bytes}")
string(REGEX MATCHALL ",0d,0a" crlf "${bytes}")
list(LENGTH lf lf_count)
list(LENGTH crlf crlf_count)
if(lf_count EQUAL 0 OR NOT lf_count EQUAL crlf_count)
  list(APPEND failures "README.txt: ${lf_count} line ends, ${crlf_count} of them CR LF")
endif()

if(failures)
  string(JOIN "\n  " text ${failures})
  message(FATAL_ERROR "${zip}:\n  ${text}")
endif()
list(LENGTH found n)
message(STATUS "${name}.zip: ${n} files, each as built, sums verified")
