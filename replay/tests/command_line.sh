#!/usr/bin/env bash
# zarn-replay on the command line: the layouts traders export give the bytes
# of the project's own layout; bad input and bad options fail clearly with
# their exit code; the library's trace goes to --trace and nowhere else; and
# a run that fails or is interrupted leaves every existing file exactly as
# it was, with no temporary file behind.
#   command_line.sh TOOL WORK [DATA]
set -u
# shellcheck source=expect.sh
. "$(dirname "${BASH_SOURCE[0]}")/expect.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
data=${3:-}
[ -n "$data" ] && [ -d "$data" ] && data=$(cd "$data" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# unchanged WHAT FILE...: every FILE still holds "old FILE" and no
# temporary file is left in the folder.
unchanged() {
  local what=$1 f
  shift
  for f in "$@"; do
    [ "$(cat "$f" 2>/dev/null)" = "old $f" ] || fail "$what: $f was changed"
    ls "$(dirname "$f")" | grep -q '\.part$' && fail "$what: a temporary file is left in $(dirname "$f")"
  done
  return 0
}
old() { local f; for f in "$@"; do echo "old $f" >"$f"; done; }

# ---------------------------------------------------------------------------
# Options.
expect "help" 0 "usage: zarn-replay" --help
expect "list" 0 "E_ZARNUNIVERSAL" --list
expect "version" 0 "zarn-replay " --version
for f in stdout.txt stderr.txt; do grep -q DLL_ "$f" && fail "--list shows the library's lines"; done
"$tool" --help >stdout.txt 2>stderr.txt
grep -q DLL_ stdout.txt stderr.txt && fail "--help shows the library's lines"
expect "unknown option" 2 "unknown option --fast" --fast
expect "unknown study" 2 "--studies: E_ZARNNOSUCH is not a study" --studies E_ZARNNOSUCH
expect "bad ticks" 2 "--ticks takes a whole number from 0 to 1000" --ticks -1
expect "bad ticks with =" 2 "--ticks takes a whole number from 0 to 1000, not \"x\"" --ticks=x
expect "bad bands" 2 "--ebands period takes a whole number from 1 to 200" --ebands 0,14
expect "too many states" 2 "--states takes a whole number from 1 to 1000" --states 1001
expect "a flag with a value" 2 "--stats takes no value" --stats=1
expect "empty file name" 2 "-o needs a file name" -o ""
expect "standard output" 0 "20240102,935,4800," --bars 3
head -n 1 stdout.txt | grep -q '^date,time,open,high,low,close,volume,E_ZARN' || fail "standard output: no header"
"$tool" --bars 40 --ticks=5 --studies " mp , a900,MP,E_ZARNMP" -o ticks.csv 2>stderr.txt || fail "--ticks=5 and a spaced, repeated study list"
[ "$(head -n 1 ticks.csv)" = "date,time,open,high,low,close,volume,E_ZARNMP.midpoint,E_ZARNMP.position,E_ZARNMP.above,E_ZARNMP.below,E_ZARNA900.average" ] ||
  fail "study list not trimmed and de-duplicated: $(head -n 1 ticks.csv)"
"$tool" --bars 40 --studies mp,a900 -o noticks.csv 2>/dev/null
cmp -s ticks.csv noticks.csv || fail "--ticks=5 changed final values"

# ---------------------------------------------------------------------------
# The library's trace: nowhere by default, in --trace FILE when asked.
"$tool" --bars 30 --states 3 -o quiet.csv >stdout.txt 2>stderr.txt || fail "quiet run failed"
[ -s stdout.txt ] && fail "a run writing a file printed on standard output: $(head -c 300 stdout.txt)"
[ -s stderr.txt ] && fail "the library's lines reached standard error: $(head -c 300 stderr.txt)"
"$tool" --bars 30 --states 3 >stdout.txt 2>stderr.txt || fail "run to standard output failed"
[ -s stderr.txt ] && fail "the library's lines reached standard error: $(head -c 300 stderr.txt)"
grep -vq '^[0-9d]' stdout.txt && fail "something other than CSV on standard output: $(grep -v '^[0-9d]' stdout.txt | head -n 3)"
cmp -s stdout.txt quiet.csv || fail "-o FILE and standard output differ"
old trace.txt
"$tool" --bars 30 --states 3 -o traced.csv --trace trace.txt >stdout.txt 2>stderr.txt || fail "traced run failed"
[ -s stderr.txt ] && fail "with --trace, standard error got: $(head -c 300 stderr.txt)"
for line in DLL_PROCESS_ATTACH "Add Context 1" "Creating state" "Create State: 3" "Delete Context 1" DLL_PROCESS_DETACH; do
  grep -qx "$line" trace.txt || fail "the trace file lacks \"$line\""
done
[ "$(head -n 1 trace.txt)" = DLL_PROCESS_ATTACH ] || fail "the trace does not start at the library's load"
grep -q '^zarn-replay' trace.txt && fail "the tool's own messages went to the trace"
cmp -s traced.csv quiet.csv || fail "--trace changed the CSV"
# The tool's own errors still show, alone.
printf 'date,time,open,high,low,close,volume\n20240102,930,1,2,0.5,1.5,1\n20240102,930,1,2,0.5,1.5,1\n' >dup.csv
expect "error with the library quiet" 1 "dup.csv:3: column 2 'time' (\"930\"): the same time as the bar before (line 2)" dup.csv -o x.csv
[ "$(wc -l <stderr.txt)" -eq 1 ] || fail "an error brought more than its own line: $(cat stderr.txt)"
[ -e x.csv ] && fail "a failed run created its output"

# ---------------------------------------------------------------------------
# Layouts: the same bars in the layouts traders export give the same CSV.
"$tool" --bars 800 --studies a900 2>/dev/null | cut -d, -f1-7 >own.csv
awk -F, 'NR == 1 { print "Date\tTime\tOpen\tHigh\tLow\tClose\tVol"; next }
         { t = sprintf("%04d", $2); printf "\"%s/%s/%s\"\t%s:%s:00\t%s\t%s\t%s\t%s\t%s\r\n", substr($1,5,2), substr($1,7,2), substr($1,1,4), substr(t,1,2), substr(t,3,2), $3, $4, $5, $6, $7 }' own.csv >tabs.csv
awk -F, 'NR == 1 { print "Date,Open,High,Low,Close,Adj Close,Volume"; next }
         { t = sprintf("%04d", $2); printf "%s-%s-%s %s:%s:00,%s,%s,%s,%s,%s,%s\n", substr($1,1,4), substr($1,5,2), substr($1,7,2), substr(t,1,2), substr(t,3,2), $3, $4, $5, $6, $6, $7 }' own.csv >vendor.csv
"$tool" own.csv -o own.out 2>/dev/null || fail "own layout failed"
for layout in tabs vendor; do
  "$tool" $layout.csv -o $layout.out 2>stderr.txt || fail "$layout layout failed: $(cat stderr.txt)"
  cmp -s own.out $layout.out || fail "$layout layout: the CSV differs from the own layout's"
done
grep -qx "zarn-replay: note: vendor.csv: columns not used: Adj Close" stderr.txt || fail "no note on the unused column: $(cat stderr.txt)"
"$tool" - -o stdin.out <vendor.csv 2>/dev/null || fail "reading standard input failed"
cmp -s own.out stdin.out || fail "standard input: the CSV differs"
if [ -d "$data" ]; then
  # A vendor's daily export: no time column, ISO dates, Adj Close.
  awk -F, 'NR == 1 { print "Date,Open,High,Low,Close,Adj Close,Volume"; next }
           { printf "%s-%s-%s,%s,%s,%s,%s,%s,%s\n", substr($1,1,4), substr($1,5,2), substr($1,7,2), $3, $4, $5, $6, $6, $7 }' \
    "$data/spy_daily_2008_2014.csv" >spy_vendor.csv
  "$tool" "$data/spy_daily_2008_2014.csv" -o spy_own.out 2>/dev/null
  "$tool" spy_vendor.csv -o spy_vendor.out 2>/dev/null || fail "vendor daily layout failed"
  cmp -s spy_own.out spy_vendor.out || fail "vendor daily layout: the CSV differs"
else
  echo "the real series are not here ($data): the daily vendor layout is left out"
fi

# ---------------------------------------------------------------------------
# Bad input: named with file, line and column; exit 1; nothing written.
head -n 2 own.csv >absurd.csv
echo "20240102,940,4800,1.7e308,4790,4795,100" >>absurd.csv
old out.csv out.svg
expect "absurd price" 1 "absurd.csv:3: column 4 'high' (\"1.7e308\"): absurd magnitude (above 1e15)" absurd.csv -o out.csv --chart out.svg
unchanged "absurd price" out.csv out.svg
{ head -n 3000 own.csv; echo "19990101,940,1,2,0.5,1,1"; } >late_error.csv
expect "a bad row late in the file" 1 "late_error.csv:802: column 1 'date' (\"19990101\"): earlier than the bar before" late_error.csv -o out.csv --chart out.svg
unchanged "a bad row late in the file" out.csv out.svg
mkdir -p folder.csv
expect "a folder" 1 "folder.csv: is a folder, not a CSV file of bars" folder.csv -o out.csv
: >empty.csv
expect "an empty file" 1 "empty.csv: empty file" empty.csv -o out.csv
expect "a missing file" 1 "nosuch.csv: no such file" nosuch.csv -o out.csv
unchanged "files that cannot be read" out.csv
{ head -n 2 own.csv; echo "20240102,940,4800,4790,4795,4795,100"; echo "20240102,945,4800,4810,-1,4795,100"; } >odd.csv
expect "inconsistent bars" 0 "zarn-replay: warning: odd.csv: 2 bars with the high below the low, the open or close outside the low to high, or a negative price, replayed as read (first at line 3: the high below the low)" odd.csv -o odd.out

# Permissions do not stop root: a folder or file that cannot be read or
# written is tried as the unprivileged user when the test runs as root.
as_user=()
if [ "$(id -u)" = 0 ]; then
  if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    as_user=(skip)
  fi
fi
if [ "${as_user[0]:-}" != skip ]; then
  cp own.csv secret.csv
  chmod 000 secret.csv
  "${as_user[@]}" "$tool" secret.csv -o /dev/null >stdout.txt 2>stderr.txt
  rc=$?
  [ $rc -eq 1 ] && grep -qF "secret.csv: cannot be read: Permission denied" stderr.txt ||
    fail "an unreadable file: exit code $rc: $(cat stderr.txt)"
  mkdir -p locked
  old locked/out.csv
  chmod 755 . && chmod 555 locked && chmod 666 locked/out.csv
  "${as_user[@]}" "$tool" --bars 50 -o locked/out.csv >stdout.txt 2>stderr.txt
  rc=$?
  [ $rc -eq 1 ] && grep -qF "locked/out.csv: cannot create locked/out.csv.part: Permission denied" stderr.txt ||
    fail "a folder that cannot be written: exit code $rc: $(cat stderr.txt)"
  chmod 755 locked
  unchanged "a folder that cannot be written" locked/out.csv
else
  echo "no unprivileged user to try permissions with: unreadable file and locked folder left out"
fi

# ---------------------------------------------------------------------------
# Outputs are replaced whole or not at all.
old keep.csv keep.svg
expect "a chart path that cannot be created" 1 "/nonexistent/x.svg: cannot create /nonexistent/x.svg.part" --bars 5 --chart /nonexistent/x.svg -o keep.csv
unchanged "a chart path that cannot be created" keep.csv
expect "a library that cannot be loaded" 3 "cannot load the library /nonexistent/libzarntrade.so" --bars 5 --library /nonexistent/libzarntrade.so -o keep.csv --chart keep.svg
unchanged "a library that cannot be loaded" keep.csv keep.svg
old same.csv
expect "two outputs on one file" 2 "-o and --chart name the same file (same.csv)" --chart same.csv -o same.csv
unchanged "two outputs on one file" same.csv
ln -f same.csv hardlink.csv
expect "two names of one file" 2 "-o and --trace name the same file (same.csv and hardlink.csv)" -o same.csv --trace hardlink.csv
unchanged "two names of one file" same.csv
expect "output over the input" 2 "the input and -o name the same file" same.csv -o ./same.csv
unchanged "output over the input" same.csv
# The disk fills up mid-run (a file size limit stands in for it).
old big.csv
(ulimit -f 64 && exec "$tool" --bars 20000 -o big.csv) >stdout.txt 2>stderr.txt
rc=$?
[ $rc -eq 1 ] && grep -qF "big.csv: write error: File too large" stderr.txt || fail "a write error mid-run: exit code $rc: $(cat stderr.txt)"
unchanged "a write error mid-run" big.csv

# Ctrl-C and SIGTERM mid-run: the files stay as they were.
set -m  # background jobs keep the default Ctrl-C
for signal in INT TERM; do
  old run.csv run.svg run.trace
  "$tool" --bars 3000000 -o run.csv --chart run.svg --trace run.trace >stdout.txt 2>stderr.txt &
  pid=$!
  for _ in $(seq 300); do
    [ -s run.csv.part ] && [ -s run.trace.part ] && break
    sleep 0.1
  done
  [ -s run.csv.part ] || fail "SIG$signal: the run wrote nothing in 30 s"
  kill -"$signal" "$pid"
  wait "$pid"
  rc=$?
  want=$((128 + $(kill -l "$signal")))
  [ $rc -eq $want ] || fail "SIG$signal: exit status $rc, expected $want"
  grep -qF "zarn-replay: stopped by a signal: no file written or replaced" stderr.txt || fail "SIG$signal: $(cat stderr.txt)"
  unchanged "SIG$signal mid-run" run.csv run.svg run.trace
done
set +m

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
