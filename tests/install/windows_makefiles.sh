#!/usr/bin/env bash
# A Windows cross-build configured by hand with CMake's Unix Makefiles
# generator (the presets use Ninja, which makes every output's folder; Make
# does not): the win32 preset configured with Make into a fresh folder and
# the 32-bit probe, whose outputs go into a folder of their own, built.
#   windows_makefiles.sh SOURCE_DIR
set -euo pipefail
source=$(cd "$1" && pwd)
for t in make i686-w64-mingw32-g++-posix; do
  command -v "$t" >/dev/null || { echo "SKIPPED: no $t (scripts/deps.sh build windows)"; exit 77; }
done
work=$(mktemp -d /tmp/zarntrade-make.XXXXXX)
trap 'rm -rf "$work"' EXIT
if ! (cd "$source" && cmake --preset win32 -G "Unix Makefiles" -B "$work") >"$work.log" 2>&1; then
  cat "$work.log"; rm -f "$work.log"; echo "FAILED: configuring with Unix Makefiles"; exit 1
fi
rm -f "$work.log"
grep -q '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles$' "$work/CMakeCache.txt"
if ! make -C "$work" zt_probe32_linux >"$work/make.log" 2>&1; then
  cat "$work/make.log"; echo "FAILED: make zt_probe32_linux"; exit 1
fi
[ -x "$work/probe32/probe32-linux" ] || { echo "FAILED: no probe32/probe32-linux"; exit 1; }
echo "passed: configured with Unix Makefiles, made probe32/probe32-linux"
