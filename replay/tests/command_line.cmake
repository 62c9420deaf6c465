# zarn-replay on the command line: bad input names the file, line and field,
# exits non-zero and leaves an existing output file untouched; bad options
# exit 2; the CSV goes to standard output when no file is named.
#   cmake -DTOOL=... -DWORK=... -P this
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(failures "")

function(expect what rc_wanted pattern)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL rc_wanted)
    set(failures "${failures}\n${what}: exit code ${rc}, expected ${rc_wanted}; stderr: ${err}" PARENT_SCOPE)
  elseif(NOT "${out}${err}" MATCHES "${pattern}")
    set(failures "${failures}\n${what}: output does not match \"${pattern}\":\n${out}${err}" PARENT_SCOPE)
  endif()
endfunction()

set(header "date,time,open,high,low,close,volume\n")
file(WRITE ${WORK}/bad_high.csv "${header}20240102,930,10,11,9,10.5,100\n20240102,935,10,9.5,9.75,9.8,100\n")
file(WRITE ${WORK}/out.csv "previous contents\n")
expect("bad high" 1 "bad_high.csv:3: field 'high' \\(\"9.5\"\\): below the low"
       ${WORK}/bad_high.csv -o ${WORK}/out.csv --chart ${WORK}/out.svg)
file(READ ${WORK}/out.csv kept)
if(NOT kept STREQUAL "previous contents\n" OR EXISTS ${WORK}/out.svg OR EXISTS ${WORK}/out.csv.part)
  set(failures "${failures}\nbad input touched the output files")
endif()

expect("missing file" 1 "nosuch.csv: cannot open the file" ${WORK}/nosuch.csv)
expect("unknown option" 2 "unknown option --fast" --fast)
expect("unknown study" 2 "--studies: E_ZARNNOSUCH is not a study" --studies E_ZARNNOSUCH)
expect("bad ticks" 2 "--ticks takes a whole number from 0 to 1000" --ticks -1)
expect("bad bands" 2 "--ebands period takes a whole number from 1 to 200" --ebands 0,14)
expect("too many states" 2 "--states takes a whole number from 1 to 1000" --states 1001)
expect("standard output" 0 "^date,time,open,high,low,close,volume[^\n]*\n20240102,935,4800," --bars 3)
expect("help" 0 "usage: zarn-replay" --help)

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
