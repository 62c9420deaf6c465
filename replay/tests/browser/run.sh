#!/usr/bin/env bash
# Runs the browser test of the HTML chart (chart_page.mjs), or skips it with
# the reason when Chromium, Node.js or the test's node_modules are missing
# (scripts/deps.sh chart installs all three).
#   run.sh ZARN_REPLAY OUT_DIR DATA_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
chromium=${ZT_CHROMIUM:-/usr/bin/chromium}
skip() { echo "SKIPPED: $*; scripts/deps.sh chart installs it"; exit 77; }
[ -x "$chromium" ] || skip "no Chromium at $chromium"
command -v node >/dev/null || skip "Node.js is not installed"
[ -f "$here/node_modules/playwright-core/package.json" ] || skip "$here/node_modules is missing (npm ci there)"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 ZT_CHROMIUM="$chromium"
exec node "$here/chart_page.mjs" "$@"
