#!/usr/bin/env bash
# cmake --install of a build into a fresh prefix outside the source tree,
# then the consumer test against it.
#   install_prefix.sh BUILD_DIR VERSION BARS.csv
set -euo pipefail
prefix=$(mktemp -d /tmp/zarntrade-prefix.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"
find "$prefix" \( -type f -o -type l \) | sed "s|^$prefix/|installed: |" | LC_ALL=C sort
bash "$(dirname "$0")/consumer.sh" "$prefix" "$2" "$3"
