#!/usr/bin/env bash
# The Python package as a user installs it, with Debian's Python and no
# package index: the wheel built with `python3 -m build --wheel --no-isolation`
# (the extension from the existing CMake build BUILD_DIR), installed with pip
# into a fresh `python3 -m venv --system-site-packages` (NumPy, pandas and
# Dask from Debian), the Python README's worked example run from a folder
# outside the repository and its printout compared with the README's, the
# version printed, then `pip install ./python` the same way; each uninstalled
# leaving nothing behind.
#   python_wheel.sh PYTHON BUILD_DIR VERSION
set -euo pipefail
python=$1
build=$(cd "$2" && pwd)
version=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
for m in venv build setuptools wheel; do
  if ! "$python" -c "import $m" 2>/dev/null; then
    echo "SKIPPED: $python has no module $m (scripts/deps.sh package installs it)"
    exit 77
  fi
done
work=$(mktemp -d /tmp/zarntrade-wheel.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
export ZARNTRADE_CMAKE_BUILD_DIR=$build PYTHONDONTWRITEBYTECODE=1 PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1

"$python" -m build --wheel --no-isolation --outdir "$work/dist" "$root/python" >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; exit 1; }
tag=$("$python" -c 'import sys; print(f"cp{sys.version_info[0]}{sys.version_info[1]}")')
wheel=$work/dist/zarntrade-$version-$tag-$tag-linux_x86_64.whl
[ -f "$wheel" ] || { ls "$work/dist"; echo "FAILED: no $(basename "$wheel")"; exit 1; }
echo "wheel: $(basename "$wheel"), $(stat -c %s "$wheel") bytes"
"$python" - "$wheel" "$version" <<'PY' || fail "the wheel's contents or metadata"
import sys, zipfile
wheel, version = sys.argv[1:]
names = zipfile.ZipFile(wheel).namelist()
for want in ("zarntrade/__init__.py", "zarntrade/dask.py", "zarntrade/py.typed", "zarntrade/_core.pyi"):
    assert want in names, f"{want} is not in the wheel"
assert any(n.startswith("zarntrade/_core.cpython-") and n.endswith(".so") for n in names), "no extension"
meta = zipfile.ZipFile(wheel).read(f"zarntrade-{version}.dist-info/METADATA").decode()
for want in (f"Version: {version}", "Requires-Python: >=3.9", "Provides-Extra: dask",
             "Classifier: Typing :: Typed", "Requires-Dist: numpy", "Requires-Dist: pandas"):
    assert any(line.startswith(want) for line in meta.splitlines()), f"no '{want}' in METADATA"
PY

"$python" -m venv --system-site-packages "$work/venv"
py=$work/venv/bin/python
site=$("$py" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
before=$(find "$work/venv" -name __pycache__ -prune -o -print | LC_ALL=C sort)

# The worked example of python/README.md, with the data it reads, in a
# folder of its own; its printout must be the README's.
mkdir -p "$work/outside/data"
cp "$root/data/spy_daily_2008_2014.csv" "$work/outside/data/"
"$python" - "$root/python/README.md" "$work/outside" <<'PY'
import pathlib, re, sys
text = pathlib.Path(sys.argv[1]).read_text()
section = text[text.index("## A worked example"):]
code, printed = re.findall(r"```(?:python)?\n(.*?)```", section, re.S)[:2]
out = pathlib.Path(sys.argv[2])
(out / "example.py").write_text(code)
(out / "expected.txt").write_text(printed)
PY

check_installed() { # check_installed HOW
  local how=$1 got
  got=$(cd "$work/outside" && "$py" -c "import zarntrade; print(zarntrade.__version__)") || true
  [ "$got" = "$version" ] || fail "$how: zarntrade.__version__ is '$got', not $version"
  where=$(cd "$work/outside" && "$py" -c "import zarntrade; print(zarntrade.__file__)")
  case "$where" in "$site"/zarntrade/__init__.py) ;; *) fail "$how: zarntrade imported from $where" ;; esac
  for f in py.typed _core.pyi; do [ -f "$site/zarntrade/$f" ] || fail "$how: no $f installed"; done
  if ! (cd "$work/outside" && "$py" example.py >example.txt 2>&1); then
    cat "$work/outside/example.txt"
    fail "$how: the worked example failed"
  elif ! diff -u <(sed 's/ *$//' "$work/outside/expected.txt") <(sed 's/ *$//' "$work/outside/example.txt"); then
    fail "$how: the worked example prints another table than the README"
  else
    echo "$how: python -c \"import zarntrade; print(zarntrade.__version__)\" printed $got; the worked example printed the README's table"
  fi
}
uninstall() { # uninstall HOW: pip uninstall leaves the environment as it was
  "$py" -m pip uninstall -y zarntrade >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; fail "$1: pip uninstall"; }
  find "$work/venv" -name __pycache__ -prune -o -print | LC_ALL=C sort >"$work/after"
  if ! diff <(echo "$before") "$work/after" >"$work/left"; then
    cat "$work/left"
    fail "$1: pip uninstall left files behind"
  fi
}

"$py" -m pip install "$wheel" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
check_installed "pip install $(basename "$wheel")"
uninstall "the wheel"

"$py" -m pip install --no-build-isolation "$root/python" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
check_installed "pip install --no-build-isolation ./python"
uninstall "./python"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "passed"
