#!/usr/bin/env bash
# zarn-replay --save-state and --resume: a run cut in two, its states saved
# after the first part and the second part replayed from them, writes exactly
# the rows of the whole run (also with a re-sent last bar, intrabar ticks
# and several states per study); a saved run that does not fit or is damaged
# fails with exit code 1 and a message, and leaves the outputs as they were.
#   resume.sh TOOL WORK DATA
set -u
# shellcheck source=expect.sh
. "$(dirname "${BASH_SOURCE[0]}")/expect.sh"
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$2
data=$(cd "$3" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

series=$data/spy_daily_2008_2014.csv
head -n 1 "$series" >head.csv
sed -n '2,1001p' "$series" >>head.csv
head -n 1 "$series" >rest.csv
sed -n '1002,$p' "$series" >>rest.csv
# The rest with the head's last bar again in front: the host re-sends it.
{ head -n 1 "$series"; sed -n '1001,$p' "$series"; } >resent.csv

for options in "" "--ticks 2 --states 40" "--studies ebands,upsell,colortmpl --ebands 30,7"; do
  # shellcheck disable=SC2086
  "$tool" $options "$series" -o whole.csv || fail "[$options] whole run"
  # shellcheck disable=SC2086
  "$tool" $options head.csv -o head_out.csv --save-state run.bin || fail "[$options] head run"
  # shellcheck disable=SC2086
  "$tool" $options --resume run.bin rest.csv -o rest_out.csv || fail "[$options] resumed run"
  { cat head_out.csv; tail -n +2 rest_out.csv; } | cmp -s - whole.csv ||
    fail "[$options] head + resumed rows differ from the whole run"
  # shellcheck disable=SC2086
  "$tool" $options --resume run.bin resent.csv -o resent_out.csv || fail "[$options] resumed with a re-sent bar"
  { cat head_out.csv; tail -n +3 resent_out.csv; } | cmp -s - whole.csv ||
    fail "[$options] head + rows after the re-sent bar differ from the whole run"
  [ "$(sed -n 2p resent_out.csv)" = "$(tail -n 1 head_out.csv)" ] ||
    fail "[$options] the re-sent bar's row differs from the one saved"
done

# expect WHAT TEXT ARGS...: exit code 1, TEXT in the message, out.csv and
# out.bin as they were.
expect() {
  local what=$1 text=$2
  shift 2
  echo old >out.csv
  echo old >out.bin
  "$tool" "$@" -o out.csv --save-state out.bin >stdout.txt 2>stderr.txt
  local rc=$?
  [ $rc -eq 1 ] || fail "$what: exit code $rc, expected 1; $(cat stderr.txt)"
  grep -qF -- "$text" stderr.txt || fail "$what: the message does not say \"$text\": $(cat stderr.txt)"
  [ "$(cat out.csv out.bin)" = "$(printf 'old\nold')" ] || fail "$what: an output was replaced"
  ls ./*.part >/dev/null 2>&1 && fail "$what: a temporary file was left"
}

"$tool" head.csv -o /dev/null --save-state run.bin --studies upsell,mp || fail "saving two studies"
expect "other studies" "the saved run's states hold E_ZARNUPSELL,E_ZARNMP; this run's would hold E_ZARNMP" \
  --resume run.bin --studies mp rest.csv
expect "an older bar" "the first bar (20080102 0000) is older than the saved run's last bar (20111216 0000)" \
  --resume run.bin --studies upsell,mp head.csv
expect "other band lengths" "the saved run's error bands are 80,14; this run's 20,5" \
  --resume run.bin --studies upsell,mp --ebands 20,5 rest.csv
expect "not a saved run" "not a saved run of zarn-replay: no \"ZARNRUN\" at its start" --resume head.csv rest.csv
head -c 300 run.bin >cut.bin
expect "a cut file" "not a saved run of zarn-replay: it ends inside a state's snapshot" --resume cut.bin rest.csv
# One byte of the first state's bar history changed: its checksum fails.
cp run.bin damaged.bin
printf '\x55' | dd of=damaged.bin bs=1 seek=300 conv=notrunc 2>/dev/null
expect "a damaged state" "state 1 (E_ZARNUPSELL): checksum mismatch" --resume damaged.bin --studies upsell,mp rest.csv

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "all passed"
