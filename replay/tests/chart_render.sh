#!/usr/bin/env bash
# The SVG chart as librsvg draws it (rsvg-convert, what many desktops and
# converters use): a picture of the size the SVG states, with something drawn
# in the plot area of every panel. Built-in series with every study and with
# four, and the SPY daily series when the data folder is there. The PNG files
# stay in the output folder to look at.
#   chart_render.sh ZARN_REPLAY OUT_DIR DATA_DIR
set -euo pipefail
tool=$1 out=$2 data=$3
for t in rsvg-convert convert identify; do
  if ! command -v "$t" >/dev/null; then
    echo "SKIPPED: $t is not installed (scripts/deps.sh chart installs it)"
    exit 77
  fi
done
rm -rf "$out"
mkdir -p "$out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

check() {  # NAME, then the tool's arguments
  local name=$1
  shift
  "$tool" "$@" -o /dev/null --chart "$out/$name.svg"
  if ! rsvg-convert "$out/$name.svg" -o "$out/$name.png" 2>"$out/$name.rsvg.txt" || [ -s "$out/$name.rsvg.txt" ]; then
    fail "$name: rsvg-convert: $(cat "$out/$name.rsvg.txt")"
    return
  fi
  local stated drawn
  stated=$(sed -n 's/^<svg [^>]* width="\([0-9.]*\)" height="\([0-9.]*\)".*/\1x\2/p' "$out/$name.svg")
  drawn=$(identify -format '%wx%h' "$out/$name.png")
  [ "$stated" = "$drawn" ] || fail "$name: the SVG states $stated, librsvg drew $drawn"
  # Each panel's plot area (its clip rectangle) holds more than its
  # background and grid: at least a few dozen colours.
  local panels=0 x y w h colours
  while read -r x y w h; do
    panels=$((panels + 1))
    colours=$(convert "$out/$name.png" -crop "${w%.*}x${h%.*}+${x%.*}+${y%.*}" +repage -format '%k' info:)
    [ "$colours" -ge 12 ] || fail "$name: panel $panels at y=$y is blank ($colours colours)"
  done < <(grep -A1 '^<clipPath' "$out/$name.svg" | sed -n 's/^<rect x="\([0-9.]*\)" y="\([0-9.]*\)" width="\([0-9.]*\)" height="\([0-9.]*\)".*/\1 \2 \3 \4/p')
  [ "$panels" -gt 0 ] || fail "$name: no panel found"
  echo "$name: $drawn, $panels panels drawn"
}

check builtin_all --bars 600
check builtin_four --bars 600 --studies upsell,stopline,tr4,mp
if [ -f "$data/spy_daily_2008_2014.csv" ]; then
  check spy_all "$data/spy_daily_2008_2014.csv"
  check spy_four "$data/spy_daily_2008_2014.csv" --studies upsell,stopline,tr4,mp
fi
[ "$failures" -eq 0 ] || exit 1
