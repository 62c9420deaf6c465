# The skip path of the 32-bit probe, which a machine that runs 32-bit
# programs never takes: with no 32-bit wine the probe must report a skip with
# the reason, and a test behind the gate must then report itself skipped with
# the same reason instead of running (or passing).
#   cmake -DSOURCE=tests/windows -DWORK=... -P this
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(status ${WORK}/status.txt)
set(missing_wine ${WORK}/no-such-wine)

# (No Linux probe either: the kernel question is left out, as without an assembler.)
execute_process(COMMAND bash ${SOURCE}/probe32.sh ${status} ${WORK}/no-linux-probe ${WORK}/probe.exe ${missing_wine}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 77 OR NOT out MATCHES "SKIPPED: no 32-bit wine at ${missing_wine}")
  message(FATAL_ERROR "probe without wine: exit ${rc}, expected 77 and the reason; said:\n${out}")
endif()

execute_process(COMMAND bash ${SOURCE}/when_32bit_runs.sh ${status} ${CMAKE_COMMAND} -E touch ${WORK}/ran
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 77 OR NOT out MATCHES "^SKIPPED: no 32-bit wine at ${missing_wine}" OR EXISTS ${WORK}/ran)
  message(FATAL_ERROR "gated command after a skipped probe: exit ${rc}, expected 77 without running; said:\n${out}")
endif()

file(REMOVE ${status})
execute_process(COMMAND bash ${SOURCE}/when_32bit_runs.sh ${status} ${CMAKE_COMMAND} -E touch ${WORK}/ran
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 77 OR NOT out MATCHES "^SKIPPED: the 32-bit probe has not run" OR EXISTS ${WORK}/ran)
  message(FATAL_ERROR "gated command without a probe answer: exit ${rc}, expected 77; said:\n${out}")
endif()

file(WRITE ${status} "runs\n")
execute_process(COMMAND bash ${SOURCE}/when_32bit_runs.sh ${status} ${CMAKE_COMMAND} -E touch ${WORK}/ran
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/ran)
  message(FATAL_ERROR "gated command after a probe that ran: exit ${rc}, the command did not run")
endif()
message(STATUS "the probe reports a missing wine as a skip, and gated tests follow it")
