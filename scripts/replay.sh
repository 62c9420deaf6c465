#!/usr/bin/env bash
# The library's main job on this machine: build the native library and the
# host replay tool, then drive the studies bar by bar as the charting host
# does. Arguments go to the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target zarn-replay >/dev/null
exec build/native/replay/zarn-replay "$@"
