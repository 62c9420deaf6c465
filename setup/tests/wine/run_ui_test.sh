#!/bin/bash
# Runs zarnsetup.exe (32- or 64-bit, with the wine loader of its kind in
# $WINE) for real on a private X server and a private 64-bit wine prefix,
# driven by zarnsetup_ui_driver.exe of the same kind:
#   1. declined agreement: exit 0, nothing written;
#   2. install folder blocked by a file: the "Error" box, exit 1;
#   3. install over two existing files (keep one, replace one) with a
#      TradeStation installation in each program folder. A 32-bit installer
#      on 64-bit Windows must still write to "C:\Program Files\Zarnik for
#      TradeStation" (the path it composes), not to "Program Files (x86)".
# Screenshots of every dialog are left in WORK_DIR/screenshots.
#
#   run_ui_test.sh INSTALLER DRIVER PAYLOAD_DIR LIBRARY_FILE WORK_DIR
set -u

if [ $# -ne 5 ]; then
  echo "usage: $0 INSTALLER DRIVER PAYLOAD_DIR LIBRARY_FILE WORK_DIR" >&2
  exit 2
fi
INSTALLER=$(realpath "$1")
DRIVER=$(realpath "$2")
PAYLOAD=$(realpath "$3")
LIBRARY=$(realpath "$4")
WORK=$5
WINE=${WINE:-/usr/lib/wine/wine64}
# Debian's wineserver script picks the 64-bit server that both loaders share.
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

mkdir -p "$WORK"
WORK=$(realpath "$WORK")
SHOTS=$WORK/screenshots
rm -rf "$SHOTS"
mkdir -p "$SHOTS"

export WINEPREFIX=$WORK/prefix
export WINEDEBUG=-all
# No Mono or Gecko install prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree=;mshtml="

failures=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

XVFB_PID=
WATCHER_PID=
cleanup() {
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$WATCHER_PID" ] && kill "$WATCHER_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

# A private X server on the first free display number.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$WORK/display" ] && break
  sleep 0.1
done
if [ ! -s "$WORK/display" ]; then
  echo "FAILED: Xvfb did not start"
  exit 1
fi
export DISPLAY=:$(head -n1 "$WORK/display")
echo "X display $DISPLAY"

# Takes the screenshots the driver asks for.
(
  while true; do
    for request in "$SHOTS"/*.request; do
      [ -e "$request" ] || continue
      name=$(basename "$request" .request)
      xwd -root -silent -display "$DISPLAY" | convert xwd:- "$SHOTS/$name.png"
      rm -f "$request"
    done
    sleep 0.2
  done
) &
WATCHER_PID=$!

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "initialising the wine prefix (first run only)"
  timeout 180 "$WINE" wineboot -i >"$WORK/wineboot.log" 2>&1
  # There is no window manager on the X server: let wine draw the title bars.
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >>"$WORK/wineboot.log" 2>&1
  # The registry files are written when the wine server ends.
  timeout 60 "$WINESERVER" -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "FAILED: wine prefix not initialised (see $WORK/wineboot.log)"
    exit 1
  fi
fi

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
DRIVE_C=$WINEPREFIX/drive_c
INSTALL_DIR="$DRIVE_C/Program Files/Zarnik for TradeStation"
INSTALL_DIR_X86="$DRIVE_C/Program Files (x86)/Zarnik for TradeStation"
TS10="$DRIVE_C/Program Files/TradeStation 10.0"
TS95="$DRIVE_C/Program Files (x86)/TradeStation 9.5"
AGREEMENT=$(windows_path "$PAYLOAD/eula.txt")
INSTALLER_W=$(windows_path "$INSTALLER")
SHOTS_W=$(windows_path "$SHOTS")

run_driver() { # run_driver SCENARIO [NAME=yes|no ...]
  local scenario=$1
  shift
  timeout 150 "$WINE" "$DRIVER" "$scenario" "$INSTALLER_W" "$AGREEMENT" "$SHOTS_W" "$@"
}

rm -rf "$INSTALL_DIR" "$INSTALL_DIR_X86" "$TS10" "$TS95"

echo "--- declined agreement"
check "driver: declined run" run_driver decline
check "nothing installed" test ! -e "$INSTALL_DIR"

echo "--- install folder cannot be created"
printf 'not a folder' >"$INSTALL_DIR"
check "driver: folder failure" run_driver folder-failure
check "the blocking file is untouched" test "$(cat "$INSTALL_DIR")" = "not a folder"
rm -f "$INSTALL_DIR"

echo "--- install over existing files"
mkdir -p "$INSTALL_DIR" "$TS10/MyWork" "$TS95/MyWork"
printf 'old document' >"$INSTALL_DIR/DEC09.ELD"
printf 'old workspace' >"$INSTALL_DIR/ZRVOMO.tsw"
check "driver: install" run_driver install DEC09.ELD=no ZRVOMO.tsw=yes
check "DEC09.ELD kept (answered No)" test "$(cat "$INSTALL_DIR/DEC09.ELD")" = "old document"
check "zarntrade.dll installed" cmp -s "$LIBRARY" "$INSTALL_DIR/zarntrade.dll"
check "ZRVOMO.tsw replaced (answered Yes)" cmp -s "$PAYLOAD/ZRVOMO.tsw" "$INSTALL_DIR/ZRVOMO.tsw"
check "README.rtf installed" cmp -s "$PAYLOAD/README.rtf" "$INSTALL_DIR/README.rtf"
check "no other file in the install folder" \
  test "$(ls "$INSTALL_DIR" | sort | tr '\n' ' ')" = "DEC09.ELD README.rtf ZRVOMO.tsw zarntrade.dll "
check "workspace in TradeStation 10.0\\MyWork" cmp -s "$PAYLOAD/ZRVOMO.tsw" "$TS10/MyWork/ZRVOMO.tsw"
check "workspace in TradeStation 9.5\\MyWork (x86)" cmp -s "$PAYLOAD/ZRVOMO.tsw" "$TS95/MyWork/ZRVOMO.tsw"
check "no install folder below Program Files (x86)" test ! -e "$INSTALL_DIR_X86"
check "no payload file below Program Files (x86) but the workspace copy" \
  test "$(find "$DRIVE_C/Program Files (x86)" -iname DEC09.ELD -o -iname zarntrade.dll -o -iname README.rtf \
          -o -iname '*.tsw' ! -path "$TS95/MyWork/ZRVOMO.tsw" | tr '\n' ' ')" = ""

echo "screenshots: $SHOTS"
if [ "$failures" -eq 0 ]; then
  echo "ui test passed"
  exit 0
fi
echo "ui test: $failures failure(s)"
exit 1
