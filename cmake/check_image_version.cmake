# Checks a shipped Windows image (the DLL or an installer): it carries no
# symbol table, and its version resource, read back with exiftool as the
# file's properties show it, names the product and this version.
#   cmake -DIMAGE=... -DOBJDUMP=... -DEXIFTOOL=... -DVERSION=1.0 -DORIGINAL_NAME=zarntrade.dll
#         -DDESCRIPTION="..." -P check_image_version.cmake
cmake_minimum_required(VERSION 3.20)
set(failures "")

execute_process(COMMAND ${OBJDUMP} -t ${IMAGE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  list(APPEND failures "objdump -t failed")
elseif(NOT symbols MATCHES "SYMBOL TABLE:[\r\n]+no symbols")
  list(APPEND failures "not stripped: the image still has a symbol table")
endif()

if(NOT EXIFTOOL)
  message(FATAL_ERROR "exiftool not found (scripts/deps.sh windows installs libimage-exiftool-perl)")
endif()
execute_process(
  COMMAND ${EXIFTOOL} -S -FileVersionNumber -ProductVersionNumber -FileVersion -ProductVersion
          -ProductName -FileDescription -CompanyName -OriginalFileName ${IMAGE}
  OUTPUT_VARIABLE tags RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "exiftool failed on ${IMAGE}: ${err}")
endif()
string(REPLACE "\n" ";" lines "${tags}")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z]+): (.*)$")
    set(tag_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()

# Four-part numbers: 1.0 is 1.0.0.0.
string(REPLACE "." ";" parts "${VERSION}")
list(LENGTH parts n)
while(n LESS 4)
  list(APPEND parts 0)
  math(EXPR n "${n} + 1")
endwhile()
list(JOIN parts "." number)

foreach(pair
    "FileVersionNumber=${number}" "ProductVersionNumber=${number}" "FileVersion=${VERSION}"
    "ProductVersion=${VERSION}" "ProductName=Zarnik for TradeStation" "FileDescription=${DESCRIPTION}"
    "CompanyName=Quorvane, Inc." "OriginalFileName=${ORIGINAL_NAME}")
  string(FIND "${pair}" "=" at)
  string(SUBSTRING "${pair}" 0 ${at} tag)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${pair}" ${at} -1 want)
  if(NOT DEFINED tag_${tag})
    list(APPEND failures "no ${tag} in the version resource")
  elseif(NOT tag_${tag} STREQUAL want)
    list(APPEND failures "${tag} is '${tag_${tag}}', expected '${want}'")
  endif()
endforeach()

if(failures)
  string(JOIN "\n  " text ${failures})
  message(FATAL_ERROR "${IMAGE}:\n  ${text}\nexiftool said:\n${tags}")
endif()
file(SIZE ${IMAGE} size)
message(STATUS "${IMAGE}: stripped (${size} bytes); version ${VERSION} (${number}), \"${DESCRIPTION}\"")
