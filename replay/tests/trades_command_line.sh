#!/usr/bin/env bash
# zarn-replay on trades: the CSV of a trade replay is byte for byte the CSV
# of a bar file holding the bars it formed; the confirmation report and its
# options; bad trade files and bad options fail clearly.
#   trades_command_line.sh TOOL WORK TRADES.csv
set -u
# shellcheck source=expect.sh
. "$(dirname "${BASH_SOURCE[0]}")/expect.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
trades=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# The bars a trade replay formed are the first seven columns of its CSV:
# replayed as a bar file they give the same bytes.
for tf in 1m 5m 1h 1d; do
  "$tool" --tick-file "$trades" --timeframe $tf -o trades_$tf.csv 2>stderr.txt || fail "$tf: $(cat stderr.txt)"
  cut -d, -f1-7 trades_$tf.csv >bars_$tf.csv
  "$tool" bars_$tf.csv -o bars_replay_$tf.csv 2>stderr.txt || fail "$tf bars: $(cat stderr.txt)"
  cmp -s trades_$tf.csv bars_replay_$tf.csv || fail "$tf: the trade replay and the replay of its bars differ"
done
[ "$(sed -n 2p trades_1m.csv | cut -d, -f1-2)" = "20240102,931" ] || fail "the first 1m bar is not stamped 0931: $(sed -n 2p trades_1m.csv | cut -c1-40)"
[ "$(sed -n 2p trades_1d.csv | cut -d, -f1-2)" = "20240102,0" ] || fail "the first daily bar is not 20240102,0"

# The confirmation report.
"$tool" --tick-file "$trades" --timeframe 5m --studies upsell,fast2,mp -o /dev/null --signal-report report.csv --stats \
  2>stderr.txt || fail "report: $(cat stderr.txt)"
[ "$(head -n 1 report.csv)" = "slot,bars,shown,confirmed,vanished,flipped,late,median_share" ] || fail "report header: $(head -n 1 report.csv)"
[ "$(cut -d, -f1 report.csv | tail -n +2 | tr '\n' ' ')" = "E_ZARNUPSELL.signal E_ZARNFAST2.up E_ZARNFAST2.down " ] ||
  fail "report slots: $(cut -d, -f1 report.csv | tr '\n' ' ')"
grep -q "trades/s" stderr.txt || fail "--stats does not give the trades per second"
grep -q "E_ZARNFAST2.down" stderr.txt || fail "--stats does not show the report table"
"$tool" --bars 400 --ticks 0 --signal-report x.csv >/dev/null 2>stderr.txt && fail "--signal-report without intrabar updates accepted"
"$tool" --bars 400 --ticks 3 -o /dev/null --signal-report ticks.csv 2>stderr.txt || fail "report with --ticks: $(cat stderr.txt)"
[ "$(wc -l <ticks.csv)" -eq 16 ] || fail "report with --ticks: $(wc -l <ticks.csv) lines, not 16"

# Bad options.
expect "timeframe missing" 2 "--tick-file needs --timeframe" --tick-file "$trades"
expect "bad timeframe" 2 "--timeframe takes 1m, 5m, 15m, 1h or 1d, not \"2m\"" --tick-file "$trades" --timeframe 2m
expect "timeframe alone" 2 "--timeframe goes with --tick-file" --timeframe 1m
expect "two inputs" 2 "--tick-file replaces the bars file" --tick-file "$trades" --timeframe 1m bars_1m.csv
expect "ticks and trades" 2 "--ticks does not go with it" --tick-file "$trades" --timeframe 1m --ticks 2
expect "report alone" 2 "--signal-report needs intrabar updates" --signal-report r.csv

# Bad trade files: file, line and column named, nothing written.
printf 'date,time,price,size\n20240102,09:00:05,100,1\n20240102,09:00:04,100,1\n' >back.csv
expect "out of order" 1 "back.csv:3: column 2 'time' (\"09:00:04\"): earlier than the trade before (line 2)" \
  --tick-file back.csv --timeframe 1m -o out.csv
[ -e out.csv ] && fail "a failed run wrote out.csv"
printf 'date;time;price;size\n20240102;09:00:05;0;1\n' >zero.csv
expect "zero price" 1 "zero.csv:2: column 3 'price' (\"0\"): a trade price must be above zero" --tick-file zero.csv --timeframe 1m
printf 'datetime,price,size\n2024-01-02 09:00:05,100,-3\n' >negative.csv
expect "negative size" 1 "negative.csv:2: column 3 'size' (\"-3\"): negative size" --tick-file negative.csv --timeframe 1m

if [ $failures -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
