#!/usr/bin/env bash
# Builds everything and runs every test: the native build, the native tests
# under AddressSanitizer + UndefinedBehaviorSanitizer and the concurrency test
# under ThreadSanitizer, the HTML page's script through ESLint, and the 32-
# and 64-bit Windows builds (export tables,
# imports and version resources read; the DLL, the replay tool and the
# installer run under 32-bit wine and wine64; the win32 build's release
# archive checked). Skipped tests are counted apart and named, with the
# reasons they gave, in one line of the summary: a skipped test never counts
# as passed. Last, a short run of every fuzz target (ZT_FUZZ_SECONDS each,
# default 30; any finding fails).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)
passed=0
failed=0
skipped=0
skip_presets=()
skip_bodies=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The HTML page's script (replay/drawing/page.js) and the browser test's
# driver through ESLint, with the browser test's npm packages (scripts/deps.sh
# chart installs them); replay/eslint.config.mjs says what it checks.
echo "=== eslint ==="
lint_status=0
(cd replay && tests/browser/node_modules/.bin/eslint .) || lint_status=$?
if [ "$lint_status" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
for preset in native asan tsan win32 win64; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  status=0
  ctest --preset "$preset" 2>&1 | tee "$log" || status=$?
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "ctest --preset $preset reported no summary" >&2
    exit 1
  fi
  total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
  # ctest counts a skipped test among the passed ones: take them out.
  names=$(sed -n '/^The following tests did not run:/,$p' "$log" | grep -E '\(Skipped\)$' |
          sed -E 's/^[[:space:]]*[0-9]+ - //; s/ \(Skipped\)$//; s/  # GetParam\(\) = .*$//' || true)
  count=0
  [ -z "$names" ] || count=$(echo "$names" | wc -l)
  if [ "$count" -gt 0 ]; then
    # The reasons: our tests print "SKIPPED: why", GoogleTest the line after
    # "file:line: Skipped".
    reasons=$( { grep -h '^SKIPPED: ' "build/$preset/Testing/Temporary/LastTest.log" | sed 's/^SKIPPED: //'
                 grep -h -A1 ': Skipped$' "build/$preset/Testing/Temporary/LastTest.log" |
                   grep -v -e ': Skipped$' -e '^--$'; } 2>/dev/null | sort -u | paste -sd ';' | sed 's/;/; /g' || true)
    list=$(echo "$names" | paste -sd ',' | sed 's/,/, /g')
    skip_presets+=("$preset")
    skip_bodies+=("$count ($list${reasons:+: $reasons})")
  fi
  skipped=$((skipped + count))
  passed=$((passed + total - bad - count))
  failed=$((failed + bad))
  [ "$status" -eq 0 ] || break
done
if [ "$status" -eq 0 ]; then
  echo "=== fuzz ==="
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  for target in $(scripts/fuzz.sh --list); do
    if scripts/fuzz.sh "$target" "${ZT_FUZZ_SECONDS:-30}"; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      status=1
    fi
  done
fi

# One line naming every skipped test, presets with the same skips together:
#   skipped: native, asan, tsan 4 each (NAME, ...: REASON; ...); win32 6 (...)
line=""
declare -A seen=()
for i in "${!skip_bodies[@]}"; do
  body=${skip_bodies[$i]}
  [ -z "${seen[$body]:-}" ] || continue
  seen[$body]=1
  presets=()
  for j in "${!skip_bodies[@]}"; do
    [ "${skip_bodies[$j]}" = "$body" ] && presets+=("${skip_presets[$j]}")
  done
  group=$(printf '%s, ' "${presets[@]}")
  group=${group%, }
  [ "${#presets[@]}" -eq 1 ] || body=$(echo "$body" | sed -E 's/^([0-9]+) /\1 each /')
  line="${line:+$line; }$group $body"
done
[ -z "$line" ] || echo "skipped: $line"
echo "all: $passed passed, $failed failed, $skipped skipped"
[ "$lint_status" -eq 0 ] || status=1
exit "$status"
