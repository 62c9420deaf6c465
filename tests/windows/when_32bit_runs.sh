#!/bin/bash
# Runs COMMAND when the 32-bit probe found that this machine runs 32-bit
# programs; otherwise reports the test skipped (exit 77) with the probe's
# reason, so a run that could not happen is never counted as passed.
#   when_32bit_runs.sh STATUS COMMAND...
status_file=$1
shift
status=$(cat "$status_file" 2>/dev/null)
case "$status" in
  runs)
    [ -z "${WINEPREFIX:-}" ] || mkdir -p "$(dirname "$WINEPREFIX")"
    exec "$@" ;;
  "skip: "*) echo "SKIPPED: ${status#skip: }" ;;
  *) echo "SKIPPED: the 32-bit probe has not run (ctest runs the test zt_probe32 first)" ;;
esac
exit 77
