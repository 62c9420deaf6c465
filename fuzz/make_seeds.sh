#!/usr/bin/env bash
# Writes the hand-made seed inputs of fuzz/corpus/ (committed; run again
# only when an input format changes). The formats are described at the top
# of each target and in fuzz/README.md. The payload seed needs zarnpack from
# the native build: cmake --preset native && cmake --build --preset native.
set -euo pipefail
cd "$(dirname "$0")"
b() { for x in "$@"; do printf "\\x$(printf %02x "$x")"; done; }

# --- exports: header = allocation plan (mode, first: 2 bytes, run), final-check study
exports=corpus/exports
mkdir -p "$exports"
live0() { b 0 0 0; }  # the first live state
{
  # One state fed a 224-bar chart (past the 200-bar history) for the first
  # study, then a few bars for every other study in turn, then the report.
  b 0 0 0 0 5  0 0 1
  b 12; live0; b 219 0 1 64
  for s in $(seq 1 33); do b 12; live0; b 7 "$s" "$((s + 1))" 64; done
  b 11
} >"$exports/long_chart"
{
  # Contexts 1 and 2 selected in turn while 1115 states are made: the oldest
  # are evicted; checks, states without gc, the report, both freed.
  b 0 0 0 0 17  8 1 9 1  1 255 1  8 2 9 2  1 15 1  3; live0; b 0 0 0  0 1 0  11  10 1  11  10 2  11
} >"$exports/past_the_limit"
{
  # Context 7 selected before it exists, added, selected again (still no
  # record), 0 selected, 7 selected, states made in each, 7 freed.
  b 0 0 0 0 3  9 7 8 7 9 7 0 0 1 9 0 9 7 0 0 1 0 1 0 11 10 7 11 10 0 11
} >"$exports/contexts"
price() { b 0 $(($1 % 256)) $(($1 / 256)); }  # a quarter-point price: 0.25 * (1 + N)
special() { b $((176 + $1)); }                 # kSpecial[N]: 0 NaN, 2 +inf, 4 the largest double
{
  # NaN, infinities and the largest double in a bar, re-sent and committed,
  # then odd ids, slots and error-band lengths.
  b 0 0 0 0 0  0 0 1
  b 4; live0; b 0 5; special 0; special 2; special 4; special 6; special 0
  b 5; live0; b 20
  b 13; live0; b 9 3 0
  for t in 1 2 3 4; do price 14400; price 14410; price 14390; price 14405; price 700; done
  b 6; live0; b 200 255 255 255 127 1     # period 2147483647
  b 6; live0; b 20 14                      # period 20, smoothing 14
  b 6; live0; b 0 0                        # period 0
  b 7; live0; b 255 255 255 255 255        # slot -1
  b 7 6 0 0 5                              # id 0
  b 5 6 3 0 7                              # study 7 on id -2147483648
} >"$exports/odd_numbers"
# Allocation failures that once broke the registry: a state made in a chart
# context whose list could not grow stayed registered with its id lost, and
# a chart freed while its list could not be copied left the selection
# pointing at the released context.
b 5 4 0 0 0  8 1 9 1 0 0 1 11 >"$exports/oom_create_in_context"
b 5 5 0 0 0  8 1 9 1 0 0 1 10 1 0 0 1 >"$exports/oom_free_context"
# The 1100th state's registry entry (allocation 2200) cannot be made: the
# creation must not have evicted the oldest state first.
b 5 151 8 0 0  1 255 1  11 >"$exports/oom_at_the_limit"
{
  # Every allocation fails from the 3rd on while states are made past the
  # limit and contexts are added.
  b 7 2 0 0 9  8 1 9 1  1 255 1  8 3  0 0 1  11
} >"$exports/oom_past_the_limit"

# --- dll_entry: header = allocation plan (4 bytes); a call = name, missing, P1..P8
dll=corpus/dll_entry
mkdir -p "$dll"
arg_id() { b 1 32 0; }       # P1: the first live state as VT_I4
arg_small() { b 1 32 "$1"; }  # P2: a small number (value - 4) as VT_I4
arg_stamp() { b 5 32 "$1" 0; } # P3: date * 10000 + HHMM as VT_R8
arg_price() { b "$1" 32 "$2" "$3"; }
call() { b 5 "$1" 0; }        # a known name by index, no record missing
{
  b 0 0 0 0
  call 1; arg_id; arg_small 5; arg_stamp 0; for i in 4 5 6 7 8; do arg_price 0 0 0; done
  for bar in $(seq 1 12); do
    call 0; arg_id; arg_small $((bar + 4)); arg_stamp $((bar * 5)); arg_price 5 $bar 2; arg_price 4 $((bar + 9)) 2
    arg_price 5 $((bar * 3)) 1; arg_price 3 $((bar * 7)) 2; arg_price 17 50 0
    for s in $(seq 16 45); do call "$s"; arg_id; for i in 2 3 4 5 6 7 8; do arg_small 0; done; done
  done
  for k in 0 1 2 3 4 13; do call 4; arg_id; arg_small "$k"; for i in 3 4 5 6 7 8; do arg_small 0; done; done
  call 2; arg_id; for i in 2 3 4 5 6 7 8; do arg_small 0; done
  call 3; arg_id; for i in 2 3 4 5 6 7 8; do arg_small 0; done
} >"$dll/chart"
{
  # Names the entry must not know, in odd cases, with and without trailing
  # bytes; every VARIANT type code.
  b 0 0 0 0
  for n in 5 6 7 8 9 10 15 46 47 48 49 50 51; do call "$n"; for i in 1 2 3 4 5 6 7 8; do b 1 32 1; done; done
  for t in $(seq 0 18); do b 4 20 85; b 0; for i in 1 2 3 4 5 6 7 8; do b "$t" 40 3 1; done; done
  b 2 17 5 1 2 3 4 5; b 0; for i in 1 2 3 4 5 6 7 8; do b 1 32 1; done
  b 1 0; b 0; for i in 1 2 3 4 5 6 7 8; do b 1 32 1; done
} >"$dll/names_and_types"

# --- payload: mode, refusals, overwrite answers, folder length, then the file
payload=corpus/payload
mkdir -p "$payload"
zarnpack=../build/native/setup/zarnpack
if [ -x "$zarnpack" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  printf 'MZ\x90\0\3\0\0\0\4\0\0\0\xff\xff\0\0' >"$work/image.exe"
  "$zarnpack" --image "$work/image.exe" --output "$work/installer.exe" \
    --file DEC09.ELD=../setup/payload/DEC09.ELD --file zarntrade.dll=../setup/placeholder/zarntrade.dll \
    --file ZRVOMO.tsw=../setup/payload/ZRVOMO.tsw --text eula.txt=../setup/payload/eula.txt
  { b 0 1 0 40; cat "$work/installer.exe"; } >"$payload/installer"
  { b 0 1 2 40; cat "$work/installer.exe"; } >"$payload/installer_skip_one"
else
  echo "no $zarnpack: the payload seed made from a real archive was not written" >&2
fi
# Structured: two file entries and two agreement entries, the second wins.
{
  b 1 1 0 20 4; printf 'MZ\0\0'; b 2 2
  b 0 0 5; printf ABCDE; b 1 1 5; printf 'he\0lo'; b 2 4 5; printf first; b 2 4 6; printf 'second'
} >"$payload/entries"
# An empty file segment and an empty text segment (each just 0 and length 5).
b 0 1 0 20  0 0 0 0 5  0 0 0 0 5 >"$payload/empty_segments"

# --- replay_csv: chunk-size byte, intrabar steps, raw-bar flag (then count
# and 5 doubles a bar), then the CSV text.
replay=corpus/replay_csv
mkdir -p "$replay"
{ b 0 4 0; head -n 40 ../data/estx50fut_1min_20060102_20060113.csv 2>/dev/null ||
    printf 'date,time,open,high,low,close,volume\n20060102,901,3602.00,3603.00,3597.00,3599.00,5699\n'; } >"$replay/own_layout"
{ b 6 3 0; printf '\xef\xbb\xbfDate;Open;High;Low;Close;Adj Close;Volume\r\n'
  printf '"2024-01-31";"10.5";11;10;10.75;10.7;"1,000"\r\n2024-02-01;10.75;12;10.5;11.5;11.4;2000\r\n'; } >"$replay/vendor_daily"
{ b 2 5 0; printf 'Timestamp\tOpen\tHigh\tLow\tClose\tVol\n01/31/2024 09:35:00\t1\t2\t0.5\t1.5\t10\n'
  printf '01/31/2024 09:40:30\t1.5\t1.5\t1.5\t1.5\t0\n'; } >"$replay/tab_datetime"
{ b 0 2 0; printf 'date,time,open,high,low,close\n31.01.2024,09:35,1,2,3,4\n31.01.2024,0936,1e308,nan,-1,1e16\n'; } >"$replay/refused_rows"
# Trades: the same text is also read as a trade file.
{ b 3 1 0; printf 'date,time,price,size\n20240102,09:00:05,100.25,3\n20240102,09:00:59,100.5,0\n'
  printf '20240102,23:59:59,99,1\n20240103,00:00:00,99.25,2\n'; } >"$replay/trades"
{ b 5 1 0; printf '"Timestamp";"Last";"Qty"\r\n"2024-01-31T09:35:00.5Z";"1.5";"2"\r\n2024-01-31 09:35:00;0;-1\r\n'; } >"$replay/trades_refused"
# A bar across most of the double range and a volume near the top.
{ b 1 8 1 1; printf '\x00\x00\x00\x00\x00\x00\xf0\x3f\x00\x00\x00\x00\x00\x00\xe0\x7f'
  printf '\x00\x00\x00\x00\x00\x00\xe0\xff\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00\x00\x00\x00\xd0\x7f'
  printf 'date,time,open,high,low,close,volume\n'; } >"$replay/extreme_bar"
