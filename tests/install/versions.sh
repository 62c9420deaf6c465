#!/usr/bin/env bash
# One version everywhere: the CMake project's VERSION is what zarn-replay
# --version prints, zarntrade.__version__, the wheel's version (setup.py),
# the shared library's file name and SONAME, the Debian package's version
# and file name, the CMake package's version file and zarntrade.pc. (The
# Windows builds check the DLL's and the installer's version resources
# against the same project version, and the release archive is named by it.)
#   versions.sh BUILD_DIR VERSION PYTHON
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
python=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
check() { # check WHAT GOT
  if [ "$2" = "$version" ]; then
    echo "$1: $2"
  else
    echo "FAILED: $1 is '$2', not $version"
    failures=$((failures + 1))
  fi
}
check "the CMake project (zarntrade_version.txt)" "$(tr -d '[:space:]' <"$build/zarntrade_version.txt")"
check "zarn-replay --version" "$("$build/replay/zarn-replay" --version | sed -n 's/^zarn-replay //p')"
if [ -d "$build/python/zarntrade" ]; then
  check "zarntrade.__version__" "$(cd /tmp && PYTHONPATH=$build/python "$python" -c 'import zarntrade; print(zarntrade.__version__)')"
fi
check "the wheel (setup.py --version)" "$(cd "$root/python" && "$python" setup.py --version 2>/dev/null | tail -n 1)"
lib=$(basename "$(readlink -f "$build/libzarntrade.so")")
check "the shared library's file" "${lib#libzarntrade.so.}"
soname=$(readelf -d "$build/$lib" | sed -n 's/.*Library soname: \[libzarntrade\.so\.\(.*\)\]/\1/p')
check "the SONAME's major version" "$soname.${version#*.}"
check "the Debian package" "$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
check "the Debian package's file" "$(sed -n 's/^set(CPACK_DEBIAN_FILE_NAME "zarntrade_\([^_]*\)_.*")$/\1/p' "$build/CPackConfig.cmake")"
check "find_package's version file" "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/zarntradeConfigVersion.cmake")"
check "zarntrade.pc" "$(sed -n 's/^Version: //p' "$build/zarntrade.pc.in")"
[ "$failures" -eq 0 ] || exit 1
