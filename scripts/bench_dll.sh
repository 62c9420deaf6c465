#!/usr/bin/env bash
# The chart benchmark of the Windows DLLs as the platform loads them, beside
# the Linux library's, in one run pinned to one core: zt_chart_bench
# --rounds=N (native preset) and zt_chart_bench_dll.exe (win64 preset under
# wine64, win32 preset under 32-bit wine where this machine runs 32-bit
# programs) drive the same passes (bench/chart_passes.cpp) over the 7,397
# one-minute bars of the sample future. Prints ns per new bar / per re-sent
# bar for all 34 studies on one chart and for each study alone, and each
# DLL's ratio to the Linux library.
#   scripts/bench_dll.sh [ROUNDS]      (default 12)
# Environment: CORE (the core to pin to, default 1), RUNS (each program is
# run RUNS times, default 4, taking turns, so that other load on the machine
# hits both sides alike; a new-bar figure is the least of its runs, a re-send
# figure, a difference of two timed passes, their median), ONLY (one case,
# e.g. E_ZARNA900 or all_34), NO_BUILD=1 (use the builds as they are).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-12}
core=${CORE:-1}
series=$PWD/data/estx50fut_1min_20060102_20060113.csv
[ -f "$series" ] || { echo "no bar series at $series (the built-in series would be timed instead)" >&2; exit 2; }
work=build/bench-dll
mkdir -p "$work"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Does this machine run 32-bit programs? The kernel first (a static i386
# program), then 32-bit wine.
why32=""
if as --32 -o "$work/probe32.o" tests/windows/probe32.s 2>/dev/null &&
   ld -m elf_i386 -static -o "$work/probe32" "$work/probe32.o" 2>/dev/null; then
  "$work/probe32" >/dev/null 2>&1 || why32="this kernel does not execute 32-bit programs"
else
  why32="no assembler for the 32-bit probe"
fi
[ -n "$why32" ] || [ -x /usr/lib/wine/wine ] || why32="no 32-bit wine at /usr/lib/wine/wine"

presets="native win64"
[ -n "$why32" ] || presets="$presets win32"
if [ "${NO_BUILD:-0}" != 1 ]; then
  scripts/deps.sh build windows
  for p in $presets; do
    target=zt_chart_bench_dll
    [ "$p" = native ] && target=zt_chart_bench
    cmake --preset "$p" >/dev/null
    cmake --build --preset "$p" -j "$(nproc)" --target "$target" >/dev/null
  done
fi

runs=${RUNS:-4}
only=${ONLY:+--only=$ONLY}
run() {  # NAME COMMAND...: the table of one library, appended to $work/NAME.txt
  local name=$1
  shift
  echo "timing $name (run $r of $runs) ..." >&2
  taskset -c "$core" "$@" 2>/dev/null | tr -d '\r' | grep -v '^DLL_' >>"$work/$name.txt"
}
tables="linux x64"
[ -n "$why32" ] || tables="$tables i686"
for t in $tables; do : >"$work/$t.txt"; done
for r in $(seq "$runs"); do
  run linux build/native/bench/zt_chart_bench --memory=0 --rounds="$rounds" --series="$series" $only
  WINEPREFIX=$PWD/build/win64/wine/bench-dll run x64 /usr/lib/wine/wine64 build/win64/zt_chart_bench_dll.exe \
    --rounds="$rounds" --series="$series" --library=build/win64/zarntrade.dll $only
  if [ -z "$why32" ]; then
    WINEPREFIX=$PWD/build/win32/wine/bench-dll run i686 /usr/lib/wine/wine build/win32/zt_chart_bench_dll.exe \
      --rounds="$rounds" --series="$series" --library=build/win32/zarntrade.dll $only
  fi
done

echo "Chart benchmark, $(grep -m1 '^#' "$work/linux.txt" | sed 's/^# //'), $runs runs (new bar: the least, re-send: the median), pinned to core $core"
echo "ns per new bar / per re-sent bar (one update: E_BARVALUES, the study entry, E_GETRETURN for its other slots)"
awk -v tables="$tables" '
  BEGIN { n = split(tables, t, " ") }
  FNR == 1 { f++ }
  /^#/ { next }
  {
    key = $1
    if (f == 1 && !((f, key) in nb)) order[++rows] = key
    if (!((f, key) in nb) || $2 < nb[f, key]) nb[f, key] = $2
    rv[f, key, ++rn[f, key]] = $3
  }
  function median(f, key,    m, i, j, v, a) {
    m = rn[f, key]
    for (i = 1; i <= m; i++) {
      v = rv[f, key, i]
      for (j = i - 1; j >= 1 && a[j] > v; j--) a[j + 1] = a[j]
      a[j + 1] = v
    }
    return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
  }
  END {
    for (r = 1; r <= rows; r++)
      for (i = 1; i <= n; i++) rs[i, order[r]] = median(i, order[r])
    printf "%-32s %17s", "", "Linux library"
    for (i = 2; i <= n; i++) printf " %17s %13s", t[i] " DLL", "ratio"
    printf "\n"
    for (r = 1; r <= rows; r++) {
      k = order[r]
      printf "%-32s %8.0f / %6.0f", (k == "all_34" ? "all 34 on one chart" : k), nb[1, k], rs[1, k]
      for (i = 2; i <= n; i++)
        printf " %8.0f / %6.0f %5.2f / %5.2f", nb[i, k], rs[i, k], nb[i, k] / nb[1, k], (rs[1, k] > 0 ? rs[i, k] / rs[1, k] : 0)
      printf "\n"
    }
  }' $(for t in $tables; do echo "$work/$t.txt"; done)
[ -z "$why32" ] || echo "i686 DLL not timed: $why32"
