#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the native tests
# under AddressSanitizer + UndefinedBehaviorSanitizer and the concurrency test
# under ThreadSanitizer, the 32-bit Windows DLL (export table and imports
# checked) and the 64-bit Windows build run under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)
for preset in native asan tsan win32 win64; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
