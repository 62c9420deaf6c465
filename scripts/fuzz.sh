#!/usr/bin/env bash
# Runs one libFuzzer target of fuzz/ for a while on one core:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   scripts/fuzz.sh --list
# TARGET is exports, dll_entry, payload, replay_csv or snapshot (fuzz/README.md). Builds the fuzz
# preset first (clang). The committed seeds in fuzz/corpus/TARGET are read;
# what the run adds goes to build/fuzz/corpus/TARGET, the log to
# build/fuzz/logs/TARGET.log and any finding to build/fuzz/findings/TARGET/.
# Prints one line with the inputs run and exits non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --list ]; then
  for d in fuzz/corpus/*/; do basename "$d"; done
  exit 0
fi
if [ $# -lt 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...] (targets: scripts/fuzz.sh --list)" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

scripts/deps.sh build fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
binary=build/fuzz/fuzz/zt_fuzz_$target
[ -x "$binary" ] || { echo "scripts/fuzz.sh: no fuzz target $target (scripts/fuzz.sh --list)" >&2; exit 2; }

work=build/fuzz/corpus/$target
findings=build/fuzz/findings/$target
log=build/fuzz/logs/$target.log
mkdir -p "$work" "$findings" "$(dirname "$log")" "fuzz/corpus/$target"
# A smaller quarantine than the default 256 MiB: inputs past the state limit
# free 130 MiB of states each; the last 64 MiB freed still stay unused.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
"$binary" "$work" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=3072 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$@" >"$log" 2>&1 || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
corpus=$(find "$work" -type f | wc -l)
if [ "$status" -ne 0 ]; then
  echo "$target: FINDING after ${runs:-?} inputs (exit $status); log $log, input in $findings/" >&2
  grep -m 3 -E 'ERROR|fuzz check failed|runtime error' "$log" >&2 || tail -n 20 "$log" >&2
  exit 1
fi
echo "$target: ${runs:-?} inputs in $seconds s, no finding (corpus $corpus inputs in $work)"
