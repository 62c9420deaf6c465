#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, by
# group, and does nothing when all of it is there:
#   scripts/deps.sh build      compilers, CMake, GoogleTest, Google Benchmark,
#                              time (all the main job and its benchmark,
#                              scripts/bench_replay.sh, need)
#   scripts/deps.sh all        every group below (what scripts/check.sh needs)
#   scripts/deps.sh GROUP...   the named groups
# Groups: build, windows (the MinGW-w64 cross compilers; wine64 and, with the
# i386 architecture added to dpkg, wine32 to run the 64- and 32-bit Windows
# builds; an X server for the installer's dialogs; exiftool to read the
# version resources back), fuzz (clang with the libFuzzer and sanitizer
# runtimes, for the fuzz preset), chart (Chromium, librsvg's rsvg-convert and
# ImageMagick to render the replay's drawings, Node.js and npm when missing, and
# the browser test's node_modules through npm ci: playwright-core and ESLint),
# python (pybind11, Python's headers, NumPy, pandas, pytest and Dask with its
# distributed scheduler, for the Python package that the native preset builds
# and tests), package (pkg-config, dpkg-dev and fakeroot for cpack's .deb, and
# venv, pip, build, setuptools and wheel for the Python wheel: the install,
# package and wheel tests and scripts/release.sh).
set -euo pipefail

group_packages() {
  case "$1" in
    build) echo cmake ninja-build make g++ libgtest-dev libbenchmark-dev time ;;
    windows) echo g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 \
                  binutils-mingw-w64-x86-64 wine64 wine32:i386 xvfb x11-apps imagemagick \
                  libimage-exiftool-perl ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    chart)
      echo chromium librsvg2-bin imagemagick
      # A Node.js from elsewhere (it brings its own npm) is kept.
      command -v node >/dev/null || echo nodejs
      command -v npm >/dev/null || echo npm ;;
    python) echo pybind11-dev python3-pybind11 python3-dev python3-numpy python3-pandas python3-pytest \
                 python3-dask python3-distributed ;;
    package) echo pkg-config dpkg-dev fakeroot python3-venv python3-pip python3-build python3-setuptools \
                  python3-wheel ;;
    *) echo "scripts/deps.sh: unknown group $1 (build, windows, fuzz, chart, python, package, all)" >&2; return 1 ;;
  esac
}
all_groups=(build windows fuzz chart python package)

groups=("$@")
[ "${#groups[@]}" -gt 0 ] || groups=(all)
[ "${groups[*]}" = all ] && groups=("${all_groups[@]}")

packages=()
for g in "${groups[@]}"; do
  list=$(group_packages "$g") || exit 2
  read -r -a more <<<"$list"
  packages+=("${more[@]}")
done

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi

# Packages of another architecture (name:i386) need that architecture known
# to dpkg before apt-get can see them.
for p in "${packages[@]}"; do
  case "$p" in
    *:*)
      arch=${p#*:}
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
         ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "adding the $arch architecture"
        $SUDO dpkg --add-architecture "$arch"
      fi ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser test's npm packages, at the versions of its lock file: its
# driver (playwright-core, which drives the system's Chromium and downloads no
# browser) and ESLint, which scripts/check.sh runs over the HTML page's script.
for g in "${groups[@]}"; do
  if [ "$g" = chart ]; then
    browser_test="$(cd "$(dirname "$0")/.." && pwd)/replay/tests/browser"
    lock="$browser_test/package-lock.json"
    stamp="$browser_test/node_modules/.package-lock.json"
    if [ ! -f "$stamp" ] || ! cmp -s <(sed -n '/"node_modules\//,$p' "$lock") <(sed -n '/"node_modules\//,$p' "$stamp"); then
      echo "npm ci in replay/tests/browser"
      (cd "$browser_test" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
  fi
done
