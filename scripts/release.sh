#!/usr/bin/env bash
# Builds the release and writes what users download, one VERSION (the CMake
# project's) in every name:
#   dist/zarntrade-VERSION-win32.zip  (and its SHA-256 sum beside it)
#     holding, in the folder zarntrade-VERSION-win32/: the i686 installer
#     zarnsetup.exe, the i686 zarntrade.dll it installs, the C header, the
#     EasyLanguage declarations and examples, README.txt and SHA256SUMS.txt
#   dist/zarntrade_VERSION_ARCH.deb  the Debian package (shared library,
#     headers, CMake and pkg-config files, zarn-replay)
#   dist/zarntrade-VERSION-cpXY-cpXY-linux_x86_64.whl  the Python wheel
#
#   scripts/release.sh [--payload DIR]
#       configure and build the native preset (package and wheel) and the
#       win32 preset in build/win32 (with DIR, the installer's payload
#       folder holding the platform's real DEC09.ELD and ZRVOMO.tsw, see
#       setup/README.md: in build/win32-release), then package them into dist/
#   scripts/release.sh --package BUILD_DIR OUT_DIR
#       package an existing win32 build into OUT_DIR (what the tests do)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

package() { # package BUILD_DIR OUT_DIR
  local build out version name stage
  build=$(cd "$1" && pwd)
  mkdir -p "$2"
  out=$(cd "$2" && pwd)
  version=$(tr -d '[:space:]' <"$build/zarntrade_version.txt")
  [ -n "$version" ] || { echo "release.sh: no version in $build/zarntrade_version.txt" >&2; exit 1; }
  name=zarntrade-$version-win32
  stage=$out/$name

  local dll=$build/zarntrade.dll installer=$build/setup/zarnsetup.exe
  for f in "$dll" "$installer"; do
    [ -f "$f" ] || { echo "release.sh: $f missing: build the win32 preset first" >&2; exit 1; }
  done
  # The deliverable is 32-bit: refuse any other build.
  local objdump
  objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
  for f in "$dll" "$installer"; do
    if ! "$objdump" -f "$f" | grep -q 'file format pei-i386'; then
      echo "release.sh: $f is not a 32-bit Windows image" >&2
      exit 1
    fi
  done

  rm -rf "$stage" "$out/$name.zip" "$out/$name.zip.sha256"
  mkdir -p "$stage/include" "$stage/easylanguage"
  cp "$installer" "$dll" "$stage/"
  cp "$root/zarntrade/include/zarntrade.h" "$root/zarntrade/include/zarntrade_exports.inc" "$stage/include/"
  cp "$root"/easylanguage/*.txt "$stage/easylanguage/"
  # Plain text for Windows: CR LF line ends.
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/scripts/release_readme.txt" >"$stage/README.txt"

  (
    cd "$stage"
    find . -type f ! -name SHA256SUMS.txt | sed 's|^\./||' | LC_ALL=C sort | xargs -d '\n' sha256sum >SHA256SUMS.txt
  )
  (
    cd "$out"
    find "$name" -type f | LC_ALL=C sort >"$out/$name.files"
    cmake -E tar cf "$name.zip" --format=zip --files-from="$out/$name.files"
    rm -f "$out/$name.files"
    sha256sum "$name.zip" >"$name.zip.sha256"
  )
  rm -rf "$stage"
  echo "wrote $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
  sed 's/^/  /' "$out/$name.zip.sha256"
}

if [ "${1:-}" = "--package" ]; then
  [ $# -eq 3 ] || usage
  package "$2" "$3"
  exit 0
fi

payload=
case "${1:-}" in
  "") ;;
  --payload) [ $# -eq 2 ] || usage; payload=$(cd "$2" && pwd) ;;
  *) usage ;;
esac

cd "$root"
scripts/deps.sh build windows python package
if [ -n "$payload" ]; then
  # A build of its own, so that build/win32 keeps the default payload that
  # its tests expect.
  build=build/win32-release
  cmake --preset win32 -B "$build" -DZARNSETUP_PAYLOAD_DIR="$payload" >/dev/null
else
  build=build/win32
  cmake --preset win32 >/dev/null
fi
cmake --build "$build" -j "$(nproc)"
used=$(sed -n 's/^ZARNSETUP_PAYLOAD_DIR:PATH=//p' "$build/CMakeCache.txt")
if [ "$used" = "$root/setup/payload" ]; then
  echo "note: the installer carries the placeholder DEC09.ELD and ZRVOMO.tsw of setup/payload;" \
       "pass --payload DIR with the platform's real files for a release to users"
fi
package "$build" dist
version=$(tr -d '[:space:]' <"$build/zarntrade_version.txt")

# The Linux packages from the native preset: the .deb by cpack, the wheel by
# the Python build backend over the same build tree.
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target zarntrade zarn-replay zarntrade_python
[ "$(tr -d '[:space:]' <build/native/zarntrade_version.txt)" = "$version" ] ||
  { echo "release.sh: build/native and $build disagree on the version" >&2; exit 1; }
deb=zarntrade_${version}_$(dpkg --print-architecture).deb
rm -f "dist/$deb" dist/zarntrade-"$version"-*.whl
(cd build/native && cpack -G DEB -B "$root/build/native/package" >/dev/null)
cp "build/native/package/$deb" dist/
ZARNTRADE_CMAKE_BUILD_DIR=$root/build/native /usr/bin/python3 -m build --wheel --no-isolation --outdir dist python >/dev/null
for f in "dist/$deb" dist/zarntrade-"$version"-*.whl; do
  [ -f "$f" ] || { echo "release.sh: $f was not made" >&2; exit 1; }
  (cd dist && sha256sum "$(basename "$f")" >"$(basename "$f").sha256")
  echo "wrote $root/$f ($(stat -c %s "$f") bytes)"
done
echo "version $version: dist/zarntrade-$version-win32.zip, dist/$deb, $(ls dist/zarntrade-"$version"-*.whl)"
