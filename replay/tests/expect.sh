# What the command-line tests share: a count of failures, and expect(),
# which runs "$tool".
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# expect WHAT RC TEXT ARGS...: exit code RC and TEXT (fixed) in the output.
expect() {
  local what=$1 want=$2 text=$3
  shift 3
  "$tool" "$@" >stdout.txt 2>stderr.txt
  local rc=$?
  if [ "$rc" -ne "$want" ]; then
    fail "$what: exit code $rc, expected $want; stderr: $(cat stderr.txt)"
  elif ! cat stdout.txt stderr.txt | grep -qF -- "$text"; then
    fail "$what: the output does not say \"$text\": $(head -c 2000 stdout.txt stderr.txt)"
  fi
}
