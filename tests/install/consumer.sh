#!/usr/bin/env bash
# The installed library as its users meet it: under PREFIX (cmake --install
# --prefix PREFIX, or /usr from the Debian package) the public headers, the
# shared library with its SONAME, zarn-replay, the CMake package and
# zarntrade.pc. A C and a C++ program copied to a folder outside the source
# tree are built once with find_package(zarntrade CONFIG) and once with
# pkg-config, replay a real series, and must give exactly the numbers the
# installed zarn-replay writes for it.
#   consumer.sh PREFIX VERSION BARS.csv
set -euo pipefail
prefix=$1
version=$2
bars=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
here=$(cd "$(dirname "$0")" && pwd)
headers=$here/../../zarntrade/include
work=$(mktemp -d /tmp/zarntrade-consumer.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

major=${version%%.*}
lib=$prefix/lib/libzarntrade.so.$version
[ -f "$lib" ] || { echo "FAILED: no $lib"; exit 1; }
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "libzarntrade.so.$major" ] || fail "the SONAME of $lib is '$soname', not libzarntrade.so.$major"
for link in libzarntrade.so libzarntrade.so.$major; do
  [ "$(readlink -f "$prefix/lib/$link")" = "$(readlink -f "$lib")" ] || fail "$prefix/lib/$link does not lead to $lib"
done
for h in "$headers"/*.h "$headers"/zarntrade_exports.inc; do
  cmp -s "$h" "$prefix/include/zarntrade/$(basename "$h")" || fail "$(basename "$h") is not installed in $prefix/include/zarntrade"
done
for f in "$prefix/lib/cmake/zarntrade/zarntradeConfig.cmake" "$prefix/lib/cmake/zarntrade/zarntradeConfigVersion.cmake" \
         "$prefix/lib/pkgconfig/zarntrade.pc" "$prefix/share/doc/zarntrade/README.md"; do
  [ -f "$f" ] || fail "no $f"
done
tool=$prefix/bin/zarn-replay
[ "$("$tool" --version)" = "zarn-replay $version" ] || fail "$tool --version says '$("$tool" --version)', not 'zarn-replay $version'"

# The numbers the installed tool writes for the series.
"$tool" "$bars" --studies mp,upsell -o "$work/tool.csv"

cp "$here/consumer/consumer.c" "$here/consumer/consumer.cpp" "$here/consumer/CMakeLists.txt" "$work/"
same() { # same WHAT CSV: the consumer's CSV against the tool's (date, time, then the study slots)
  if ! awk -F, 'NR == FNR { want[FNR] = $0; rows = FNR; next }
                { n = split(want[FNR], w, ",")
                  if (n != NF + 5 || $1 != w[1] || $2 != w[2]) { print "row " FNR ": " $0; bad = 1; exit }
                  for (k = 3; k <= NF; ++k)
                    if ($k + 0 != w[k + 5] + 0) { print "row " FNR " column " k ": " $k " against " w[k + 5]; bad = 1; exit } }
                END { if (!bad && FNR != rows) { print FNR " rows against " rows; bad = 1 } exit bad }' \
         "$work/tool.csv" "$2"; then
    fail "$1 differs from zarn-replay"
  else
    echo "$1: $(($(wc -l <"$2") - 1)) bars, the same numbers as zarn-replay"
  fi
}

# find_package, in a project of its own.
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if cmake -S "$work" -B "$work/later" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" \
     -DZT_WANT_VERSION=$((major + 1)).0 >"$work/later.log" 2>&1; then
  fail "find_package(zarntrade $((major + 1)).0) accepted version $version"
fi
if cmake -S "$work" -B "$work/cmake-build" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" \
     -DZT_WANT_VERSION="$version" -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" 2>&1 &&
   cmake --build "$work/cmake-build" >>"$work/cmake.log" 2>&1; then
  found=$(sed -n 's/^zarntrade_DIR:PATH=//p' "$work/cmake-build/CMakeCache.txt")
  [ "$found" = "$prefix/lib/cmake/zarntrade" ] || fail "find_package found $found, not $prefix/lib/cmake/zarntrade"
  for p in consumer_c consumer_cpp; do
    needed=$(readelf -d "$work/cmake-build/$p" | sed -n 's/.*Shared library: \[\(libzarntrade[^]]*\)\]/\1/p')
    [ "$needed" = "libzarntrade.so.$major" ] || fail "$p (find_package) needs '$needed'"
    "$work/cmake-build/$p" "$bars" >"$work/$p-cmake.csv" 2>"$work/trace.txt" || fail "$p (find_package) failed"
    same "$p built with find_package" "$work/$p-cmake.csv"
  done
else
  cat "$work/cmake.log"
  fail "the find_package build failed"
fi

# pkg-config, by hand.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion zarntrade)" = "$version" ] || fail "pkg-config --modversion says $(pkg-config --modversion zarntrade)"
cflags=$(pkg-config --cflags zarntrade)
libs=$(pkg-config --libs zarntrade)
libdir=$(pkg-config --variable=libdir zarntrade)
# shellcheck disable=SC2086
if cc -std=c99 -Wall -Werror $cflags -o "$work/c_pc" "$work/consumer.c" $libs &&
   c++ -std=c++17 -Wall -Werror $cflags -o "$work/cpp_pc" "$work/consumer.cpp" $libs; then
  for p in c_pc cpp_pc; do
    LD_LIBRARY_PATH=$libdir "$work/$p" "$bars" >"$work/$p.csv" 2>"$work/trace.txt" || fail "$p (pkg-config) failed"
    same "$p built with pkg-config ($cflags $libs)" "$work/$p.csv"
  done
else
  fail "the pkg-config build failed"
fi

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "passed"
