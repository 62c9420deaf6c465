#!/usr/bin/env bash
# The library's main job on this machine: build the native library and the
# host replay tool, then drive every study bar by bar as the charting host
# does. With no arguments it replays the built-in series into out/replay.csv
# and draws out/replay.svg and out/replay.html; any arguments go to the tool instead
# (scripts/replay.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target zarn-replay >/dev/null
if [ "$#" -eq 0 ]; then
  mkdir -p out
  # The library traces every state it creates and destroys: keep those lines
  # in out/replay.trace; standard error shows the tool's own.
  build/native/replay/zarn-replay --stats -o out/replay.csv --chart out/replay.svg --trace out/replay.trace
  # The same drawing as a page with a crosshair, panels to hide and a zoom.
  build/native/replay/zarn-replay -o /dev/null --chart out/replay.html
  echo "wrote out/replay.csv ($(wc -l < out/replay.csv) lines), out/replay.svg, out/replay.html and the library's trace in out/replay.trace"
else
  exec build/native/replay/zarn-replay "$@"
fi
