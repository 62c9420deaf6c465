#!/bin/bash
# Tells whether this machine runs the 32-bit build's programs, and writes the
# answer to STATUS for tests/windows/when_32bit_runs.sh: "runs", or "skip: "
# and the reason. Exits 0 when they run, 77 (skipped) when the kernel cannot
# execute 32-bit code or 32-bit wine is not installed, and 1 when both are
# there and the Windows probe still does not run (a broken installation,
# not a machine without 32-bit support).
#   probe32.sh STATUS LINUX_PROBE WINDOWS_PROBE WINE
set -u
status=$1 linux_probe=$2 windows_probe=$3 wine=$4
rm -f "$status"
mkdir -p "$(dirname "$status")"
[ -z "${WINEPREFIX:-}" ] || mkdir -p "$(dirname "$WINEPREFIX")"
kernel_tested=no

skip() {
  echo "skip: $1" >"$status"
  echo "SKIPPED: $1"
  exit 77
}

# The kernel first: a static i386 program needs nothing but the kernel.
if [ -f "$linux_probe" ]; then
  if ! out=$("$linux_probe" 2>&1) || [ "$out" != "32-bit Linux program runs" ]; then
    skip "this kernel does not execute 32-bit programs (${out:-no output})"
  fi
  echo "$out"
  kernel_tested=yes
else
  echo "no 32-bit Linux probe was built (no host assembler): kernel not tested on its own"
fi

if [ ! -x "$wine" ]; then
  skip "no 32-bit wine at $wine (scripts/deps.sh windows installs wine32:i386)"
fi
out=$(timeout 300 "$wine" "$windows_probe" 2>&1)
rc=$?
case "$out" in
  *"32-bit Windows program runs (4-byte pointers)"*)
    echo "$out" | tr -d '\r'
    echo runs >"$status"
    exit 0 ;;
esac
reason="32-bit wine does not run programs here (exit $rc: $(echo "$out" | tr -d '\r' | tail -n 3 | tr '\n' ' '))"
[ "$kernel_tested" = yes ] || skip "$reason"
echo "skip: $reason" >"$status"
echo "FAILED: the kernel runs 32-bit programs and $wine is installed, yet: $reason"
exit 1
