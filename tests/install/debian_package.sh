#!/usr/bin/env bash
# The Debian package as a Debian user installs it: cpack -G DEB makes
# zarntrade_VERSION_ARCH.deb from BUILD_DIR, `apt-get install ./...deb`
# installs it, `zarn-replay --list` runs from the PATH, the consumer test
# builds against /usr, and `apt-get purge` takes every file away again. It
# changes /usr, so it runs as root only, and removes the package whatever
# happens.
#   debian_package.sh BUILD_DIR VERSION BARS.csv
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
bars=$3
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: installing a package needs root"
  exit 77
fi
for t in cpack dpkg-deb dpkg-shlibdeps apt-get; do
  command -v "$t" >/dev/null || { echo "SKIPPED: no $t (scripts/deps.sh package)"; exit 77; }
done
if dpkg-query -W -f='${Status}' zarntrade 2>/dev/null | grep -q "ok installed"; then
  echo "SKIPPED: a zarntrade package is installed already; this test will not replace it"
  exit 77
fi
work=$(mktemp -d /tmp/zarntrade-deb.XXXXXX)
apt=(apt-get -o DPkg::Lock::Timeout=300 -y -qq)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge zarntrade >/dev/null 2>&1 || dpkg --purge zarntrade >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/zarntrade_${version}_$arch.deb
[ -f "$deb" ] || { ls "$work"; echo "FAILED: no $(basename "$deb")"; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is $(dpkg-deb -f "$deb" Version)"
echo "depends: $(dpkg-deb -f "$deb" Depends)"
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in ./usr/bin/zarn-replay ./usr/lib/libzarntrade.so.$version ./usr/lib/libzarntrade.so ./usr/include/zarntrade/zarntrade.h \
         ./usr/include/zarntrade/zarntrade_exports.inc ./usr/lib/cmake/zarntrade/zarntradeConfig.cmake \
         ./usr/lib/cmake/zarntrade/zarntradeConfigVersion.cmake ./usr/lib/cmake/zarntrade/zarntradeTargets.cmake \
         ./usr/lib/pkgconfig/zarntrade.pc ./usr/share/doc/zarntrade/README.md; do
  echo "$contents" | grep -qx -- "$f" || fail "the package holds no $f"
done

installed=1
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
[ "$(command -v zarn-replay)" = /usr/bin/zarn-replay ] || fail "zarn-replay is not /usr/bin/zarn-replay on the PATH"
(cd "$work" && zarn-replay --list >list.txt 2>&1) || fail "zarn-replay --list failed: $(cat "$work/list.txt")"
grep -q E_ZARNCOLORTMPL "$work/list.txt" || fail "zarn-replay --list lists no E_ZARNCOLORTMPL"
echo "zarn-replay --list: $(grep -c '^E_ZARN' "$work/list.txt" || true) studies listed"
bash "$here/consumer.sh" /usr "$version" "$bars" || fail "the consumer test against /usr"

DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge zarntrade >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
installed=0
if dpkg-query -W -f='${Status}' zarntrade >/dev/null 2>&1; then
  fail "dpkg still knows zarntrade: $(dpkg-query -W -f='${Status}' zarntrade)"
fi
for f in $contents; do
  f=${f#.}
  [ -d "$f" ] || { [ ! -e "$f" ] && [ ! -L "$f" ]; } || fail "$f is left after apt-get purge"
done
! ldconfig -p | grep -q libzarntrade || fail "ldconfig still knows libzarntrade"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "passed"
