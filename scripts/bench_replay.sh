#!/usr/bin/env bash
# The replay at size: a generated CSV of BARS bars (default 2,000,000) in the
# project's own layout and the same bars in a data vendor's layout
# (Date,Open,High,Low,Close,Adj Close,Volume, the date with the time), each
# replayed through every study to /dev/null, with the wall time, peak
# resident memory and bars per second. The files go to build/bench-replay/
# (about 100 MB each for 2,000,000 bars) and are not kept in git.
#   scripts/bench_replay.sh [BARS]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target zarn-replay >/dev/null
bars=${1:-2000000}
tool=build/native/replay/zarn-replay
dir=build/bench-replay
mkdir -p "$dir"
# The built-in series' bars; 2,000,000 of them run past 2099, so every year
# is moved back a century (still a valid date: 2024 and 1924 are both leap
# years, and so on).
"$tool" --bars "$bars" --studies a900 2>/dev/null |
  awk -F, 'BEGIN { OFS = "," } NR == 1 { print $1, $2, $3, $4, $5, $6, $7; next }
           { print $1 - 1000000, $2, $3, $4, $5, $6, $7 }' >"$dir/own.csv"
awk -F, 'NR == 1 { print "Date,Open,High,Low,Close,Adj Close,Volume"; next }
         { t = sprintf("%04d", $2)
           printf "%s-%s-%s %s:%s:00,%s,%s,%s,%s,%s,%s\n", substr($1, 1, 4), substr($1, 5, 2), substr($1, 7, 2),
                  substr(t, 1, 2), substr(t, 3, 2), $3, $4, $5, $6, $6, $7 }' "$dir/own.csv" >"$dir/vendor.csv"
for layout in own vendor; do
  echo "== $layout layout: $(head -n 1 "$dir/$layout.csv"), $(du -m "$dir/$layout.csv" | cut -f1) MB"
  /usr/bin/time -f "%e s wall, peak resident memory %M KB" "$tool" "$dir/$layout.csv" --stats -o /dev/null
done
