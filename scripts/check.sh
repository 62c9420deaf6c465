#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the native tests
# under AddressSanitizer + UndefinedBehaviorSanitizer and the concurrency test
# under ThreadSanitizer, the 32-bit Windows DLL (export table and imports
# checked), the 64-bit Windows build run under wine64, and a short run of
# every fuzz target (ZT_FUZZ_SECONDS each, default 30; any finding fails).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in native asan tsan win32 win64; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  status=0
  ctest --preset "$preset" 2>&1 | tee "$log" || status=$?
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "ctest --preset $preset reported no summary" >&2
    exit 1
  fi
  total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || { echo "all: $passed passed, $failed failed"; exit "$status"; }
done
echo "=== fuzz ==="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for target in $(scripts/fuzz.sh --list); do
  if scripts/fuzz.sh "$target" "${ZT_FUZZ_SECONDS:-30}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
