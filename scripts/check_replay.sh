#!/usr/bin/env bash
# Replays every case of data/reference/replay.sha256 and compares the SHA-256
# of the CSV that zarn-replay writes with the one recorded there (results
# checked against an independent model of every study). Runs from the
# repository root, whose data/ the cases name:
#   scripts/check_replay.sh [TOOL]     (default build/native/replay/zarn-replay)
# Prints one line per differing case and "N passed, N failed".
set -u
cd "$(dirname "$0")/.."
tool=${1:-build/native/replay/zarn-replay}
sums=data/reference/replay.sha256
[ -x "$tool" ] || { echo "no $tool: build the native preset first" >&2; exit 2; }
[ -f "$sums" ] || { echo "no $sums" >&2; exit 2; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
pass=0
fail=0
while IFS= read -r line; do
  case "$line" in \#* | "") continue ;; esac
  want=${line%%  *}
  args=${line#*  }
  # shellcheck disable=SC2086
  if "$tool" $args -o "$out" >/dev/null 2>&1 && [ "$(sha256sum "$out" | cut -c1-64)" = "$want" ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "differs: zarn-replay $args"
  fi
done <"$sums"
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ] && [ "$pass" -gt 0 ]
